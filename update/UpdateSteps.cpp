#include "update/UpdateSteps.h"

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/NoCaseSet.h"
#include "core/Path.h"
#include "core/StrFormat.h"
#include "installer/ListItem.h"
#include "script/InstallScript.h"

#include <windows.h>

int64_t KeepFile(InstallHost& host, const Str& entryName, const Str& destination)
{
    const uint8_t* record = FindEntry(entryName.text(), entryName.length());
    int64_t size = record ? static_cast<int32_t>(ReadU32(record + 8)) : 0;
    if (host.writeLog)
        HostLog(host, StrFormat(Tr(L"Bez zmian [] ([] B)", L"Kept [] ([] bytes)"), destination, size));
    return size;
}

static NoCaseSet SetOf(const StrArray& items)
{
    NoCaseSet set = MakeNoCaseSet(items.length());
    for (int64_t i = 0; i < items.length(); i++)
        AddNoCase(set, items.ref(i));
    return set;
}

static bool Holds(const NoCaseSet& set, const Str& item)
{
    return FindNoCase(set, item.text(), item.length()) >= 0;
}

void RemoveOldFiles(InstallHost& host, InstallTransaction& transaction, const UpdatePlan& plan,
                    const StrArray& files)
{
    NoCaseSet installed = SetOf(plan.installedFiles), wanted = SetOf(files);
    Str base = AddTrailingSlash(Script.installDir);
    for (int64_t i = 0; i < plan.removed.length(); i++) {
        const Str& name = plan.removed.ref(i);
        if (!Holds(installed, name) || Holds(wanted, name) || !IsContainedRelativePath(name))
            continue;
        Str path = Concat(base, name);
        PutStep step;
        ClearPath(transaction, step, path);
        if (host.writeLog)
            HostLog(host, StrFormat(Tr(L"Usunięto []", L"Removed []"), path));
    }
}

void RemoveEmptiedDirectories(const UpdatePlan& plan, const StrArray& directories)
{
    NoCaseSet needed = SetOf(directories);
    Str base = AddTrailingSlash(Script.installDir);
    // The data file lists them longest first: children before their parents.
    for (int64_t i = 0; i < plan.installedDirectories.length(); i++) {
        const Str& directory = plan.installedDirectories.ref(i);
        if (!Holds(needed, directory) && IsContainedRelativePath(directory, NameMayEndInSeparator))
            RemoveDirectoryW(Concat(base, directory).text());
    }
}
