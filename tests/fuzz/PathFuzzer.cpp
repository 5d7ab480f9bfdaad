// Fuzz target over the path helpers: NormalizePath on any text never grows it, leaves no "/",
// keeps its drive or UNC prefix, and gives a text that a second pass leaves as it is; the helpers
// built on it hold up on anything.
#include "FuzzText.h"

#include "core/CharCase.h"
#include "core/Path.h"
#include "uninstaller/UninstallPlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Str path = UnitsOf(data, size);
    try {
        Str normal = NormalizePath(path);
        FUZZ_CHECK(normal.length() <= path.length());
        for (int64_t i = 0; i < normal.length(); i++)
            FUZZ_CHECK(normal.text()[i] != L'/');
        int64_t kept = path.length() >= 3 && path.text()[1] == L':' &&
                               (path.text()[2] == L'\\' || path.text()[2] == L'/')
                           ? 3
                           : 0;
        if (kept && ((path.text()[0] >= L'A' && path.text()[0] <= L'Z') ||
                     (path.text()[0] >= L'a' && path.text()[0] <= L'z')))
            FUZZ_CHECK(normal.length() >= 3 && normal.text()[0] == path.text()[0] &&
                       normal.text()[2] == L'\\');
        FUZZ_CHECK(NormalizePath(normal) == normal);

        Str directory = DirectoryOf(normal);
        FUZZ_CHECK(directory.length() <= normal.length());
        Str slashed = AddTrailingSlash(path);
        FUZZ_CHECK(slashed.length() == path.length() || slashed.length() == path.length() + 1);
        ParentDirectory(path);
        LiesDirectlyIn(path, directory);
    } catch (const Error&) {
    }
    return 0;
}
