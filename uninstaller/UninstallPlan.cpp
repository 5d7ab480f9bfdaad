#include "uninstaller/UninstallPlan.h"

#include "core/CharCase.h"
#include "core/KeyValueList.h"
#include "core/Path.h"
#include "installer/ListItem.h"
#include "script/ScriptValues.h"

UninstallPlan ParseUninstallData(const Str& dataFile, const Str& text)
{
    KeyValueList values;
    ParseKeyValueText(text, values);
    UninstallPlan plan;
    plan.dataFile = dataFile;
    Str path = NormalizePath(values.valueOf(L"path"));
    while (path.length() > 3 && path.text()[path.length() - 1] == L'\\')
        path = Str(path.text(), path.length() - 1);
    plan.installDir = path;
    plan.autoFiles = SplitList(values.valueOf(L"auto-delete-files"));
    plan.autoDirectories = SplitList(values.valueOf(L"auto-delete-directories"));
    plan.deleteFiles = SplitList(values.valueOf(L"delete-files"));
    plan.askDeleteFiles = SplitList(values.valueOf(L"ask-delete-files"));
    plan.deleteDirectories = SplitList(values.valueOf(L"delete-directories"));
    plan.exeFile = values.valueOf(L"exe-file");
    plan.programName = values.valueOf(L"name");
    plan.perUser = values.valueOf(L"private-install") == L"1";
    plan.createdDirectories = SplitList(values.valueOf(L"created-directories"));
    return plan;
}

bool LiesDirectlyIn(const Str& path, const Str& dir)
{
    return StrEqualNoCase(DirectoryOf(NormalizePath(path)), AddTrailingSlash(NormalizePath(dir)));
}

// Whether a component of the path is "." or "..": a normalised path keeps them only where they
// cannot be resolved, as in C:\.., which is the drive's root.
static bool HasDotComponent(const Str& path)
{
    const wchar_t* p = path.text();
    int64_t start = 0;
    for (int64_t i = 0; i <= path.length(); i++) {
        if (i < path.length() && p[i] != L'\\')
            continue;
        int64_t part = i - start;
        if ((part == 1 && p[start] == L'.') || (part == 2 && p[start] == L'.' && p[start + 1] == L'.'))
            return true;
        start = i + 1;
    }
    return false;
}

static bool IsAbsoluteFolder(const Str& path)
{
    const wchar_t* p = path.text();
    // A drive root is no program's own folder.
    bool drive = path.length() > 3 && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) &&
                 p[1] == L':' && p[2] == L'\\';
    bool unc = path.length() >= 5 && p[0] == L'\\' && p[1] == L'\\' && p[2] != L'\\' && p[2] != L'?' && p[2] != L'.';
    return (drive || unc) && !HasDotComponent(path);
}

bool IsFolderAbove(const Str& folder, const Str& dir)
{
    Str above = AddTrailingSlash(NormalizePath(folder));
    Str below = AddTrailingSlash(NormalizePath(dir));
    return IsAbsoluteFolder(folder) && above.length() < below.length() &&
           StrEqualNoCase(above.text(), above.length(), below.text(), above.length());
}

static Str FirstUnsafe(const StrArray& items, unsigned flags)
{
    for (int64_t i = 0; i < items.length(); i++)
        if (!IsContainedRelativePath(items.ref(i), flags))
            return items.at(i);
    return Str();
}

Str UnsafeItem(const UninstallPlan& plan)
{
    if (!IsAbsoluteFolder(plan.installDir) || !LiesDirectlyIn(plan.dataFile, plan.installDir))
        return plan.installDir.isEmpty() ? Str(L"path=") : plan.installDir;
    struct {
        const StrArray* items;
        unsigned flags;
    } lists[] = {{&plan.autoFiles, 0},
                 {&plan.autoDirectories, NameMayEndInSeparator},
                 {&plan.deleteFiles, NameMayHoldWildcards},
                 {&plan.askDeleteFiles, NameMayHoldWildcards},
                 {&plan.deleteDirectories, NameMayHoldWildcards | NameMayEndInSeparator}};
    for (const auto& list : lists) {
        Str unsafe = FirstUnsafe(*list.items, list.flags);
        if (!unsafe.isEmpty())
            return unsafe;
    }
    for (int64_t i = 0; i < plan.createdDirectories.length(); i++)
        if (!IsFolderAbove(plan.createdDirectories.ref(i), plan.installDir))
            return plan.createdDirectories.at(i);
    // The links are the name followed by ".lnk" in a shell folder.
    if (!plan.programName.isEmpty() && !IsContainedRelativePath(Concat(plan.programName, Str(L".lnk"))))
        return plan.programName;
    return Str();
}
