// Fuzz target over the uninstall data parser and its safety rule: whatever the data file says,
// a plan that the rule lets through may only ever name paths inside its installation directory.
#include "FuzzText.h"

#include "core/CharCase.h"
#include "core/Path.h"
#include "core/Utf8.h"
#include "installer/ListItem.h"
#include "uninstaller/UninstallPlan.h"

// Whether the normalised join of dir and item lies below dir.
static bool StaysBelow(const Str& dir, const Str& item)
{
    Str base = Concat(dir, Str(L"\\"));
    Str joined = NormalizePath(Concat(base, item));
    return joined.length() > base.length() &&
           StrEqualNoCase(joined.text(), base.length(), base.text(), base.length());
}

static void CheckList(const UninstallPlan& plan, const StrArray& items, unsigned flags)
{
    for (int64_t i = 0; i < items.length(); i++) {
        FUZZ_CHECK(IsContainedRelativePath(items.ref(i), flags));
        FUZZ_CHECK(StaysBelow(plan.installDir, items.ref(i)));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    try {
        Str text = Utf8ToStr(data + 1, static_cast<int64_t>(size - 1));
        // The data file lies in a fixed folder, or (first byte odd) in the folder that path= names,
        // so that the rule's later checks are reached too.
        UninstallPlan plan = ParseUninstallData(Str(L"C:\\Apps\\Foo\\Foo.de"), text);
        if (data[0] & 1)
            plan = ParseUninstallData(Concat(plan.installDir, Str(L"\\Foo.de")), text);
        if (!UnsafeItem(plan).isEmpty())
            return 0;
        for (int64_t i = 0; i < plan.installDir.length(); i++)
            FUZZ_CHECK(plan.installDir.text()[i] != L'/');
        FUZZ_CHECK(LiesDirectlyIn(plan.dataFile, plan.installDir));
        CheckList(plan, plan.autoFiles, 0);
        CheckList(plan, plan.autoDirectories, NameMayEndInSeparator);
        CheckList(plan, plan.deleteFiles, NameMayHoldWildcards);
        CheckList(plan, plan.askDeleteFiles, NameMayHoldWildcards);
        CheckList(plan, plan.deleteDirectories, NameMayHoldWildcards | NameMayEndInSeparator);
        if (!plan.programName.isEmpty())
            FUZZ_CHECK(IsContainedRelativePath(Concat(plan.programName, Str(L".lnk"))));
    } catch (const Error&) {
    }
    return 0;
}
