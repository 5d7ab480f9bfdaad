#include "doctest.h"

#include "core/Error.h"
#include "installer/ListItem.h"
#include "installer/UninstallData.h"
#include "support/TestFiles.h"

#include <windows.h>

TEST_SUITE("data") {

TEST_CASE("the worked example, line by line")
{
    UninstallData data;
    data.installDir = L"C:\\Users\\U\\AppData\\Local\\Foo";
    data.files = SplitList(Str(L"foo.exe|Colors\\light.txt|Syntax\\css.x"));
    data.directories = SplitList(Str(L"Colors\\|Syntax\\"));
    data.exeFile = L"foo.exe";
    data.programName = L"Foo";
    data.perUserInstall = true;
    CHECK(std::wstring(BuildUninstallData(data).text()) ==
          L"path=C:\\Users\\U\\AppData\\Local\\Foo\n"
          L"auto-delete-files=Syntax\\css.x|Colors\\light.txt|foo.exe\n"
          L"auto-delete-directories=Syntax\\|Colors\\\n"
          L"exe-file=foo.exe\n"
          L"name=Foo\n"
          L"private-install=1");

    data.perUserInstall = false;
    data.directories = StrArray();
    data.deleteFiles = L"settings.ini";
    data.deleteDirectories = L"cache";
    CHECK(std::wstring(BuildUninstallData(data).text()) ==
          L"path=C:\\Users\\U\\AppData\\Local\\Foo\n"
          L"auto-delete-files=Syntax\\css.x|Colors\\light.txt|foo.exe\n"
          L"auto-delete-directories=\n"
          L"delete-files=settings.ini\n"
          L"delete-directories=cache\n"
          L"exe-file=foo.exe\n"
          L"name=Foo");

    // Folders made above the directory for it: an extra last line, innermost first.
    data.createdDirectories = SplitList(Str(L"C:\\Users\\U\\AppData|C:\\Users\\U\\AppData\\Local"));
    std::wstring text = BuildUninstallData(data).text();
    CHECK(text.substr(text.rfind(L'\n') + 1) ==
          L"created-directories=C:\\Users\\U\\AppData\\Local|C:\\Users\\U\\AppData");
}

TEST_CASE("the data file: UTF-8 without a mark, CR LF, replaced whole")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"Żółw.de");
    WriteWholeFile(path, "old contents that are longer than the new ones");
    WriteUninstallData(Str(path.c_str()), Str(L"path=C:\\Żółw\nname=Żółw"));
    CHECK(ReadWholeFile(path) == "path=C:\\\xC5\xBB\xC3\xB3\xC5\x82w\r\nname=\xC5\xBB\xC3\xB3\xC5\x82w");
    CHECK(FolderContents(dir.path()) == std::vector<std::wstring> {L"Żółw.de"});
}

TEST_CASE("a data file that cannot be moved into place leaves no temporary file")
{
    ScratchDir dir;
    std::wstring path = dir.path(L"Foo.de");
    CreateDirectoryW(path.c_str(), nullptr); // a directory stands where the file should go
    try {
        WriteUninstallData(Str(path.c_str()), Str(L"name=Foo"));
        FAIL("no exception");
    } catch (const WinError& e) {
        CHECK(std::wstring(e.text) == path);
    }
    CHECK(FolderContents(dir.path()) == std::vector<std::wstring> {L"Foo.de\\"});
}

} // TEST_SUITE
