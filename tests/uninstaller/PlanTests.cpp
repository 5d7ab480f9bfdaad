#include "doctest.h"

#include "core/Error.h"
#include "support/TestFiles.h"
#include "uninstaller/Removal.h"
#include "uninstaller/UninstallDataFile.h"
#include "uninstaller/UninstallPlan.h"

#include <windows.h>

static std::wstring Joined(const StrArray& items)
{
    std::wstring all;
    for (int64_t i = 0; i < items.length(); i++)
        all += (i ? L"|" : L"") + std::wstring(items.ref(i).text());
    return all;
}

static UninstallPlan Plan(const wchar_t* text, const wchar_t* dataFile = L"C:\\Apps\\Foo\\Foo.de")
{
    return ParseUninstallData(Str(dataFile), Str(text));
}

TEST_SUITE("data") {

TEST_CASE("every key of the data file")
{
    UninstallPlan plan = Plan(L"path=C:\\Apps\\Foo\r\n"
                              L"auto-delete-files=Syntax\\css.x|Colors\\light.txt|foo.exe\r\n"
                              L"auto-delete-directories=Syntax\\|Colors\\\r\n"
                              L"delete-files=settings.ini|*.log\r\n"
                              L"ask-delete-files=notes.txt\r\n"
                              L"delete-directories=cache\r\n"
                              L"exe-file=foo.exe\r\n"
                              L"name=Foo\r\n"
                              L"private-install=1");
    CHECK(std::wstring(plan.installDir.text()) == L"C:\\Apps\\Foo");
    CHECK(Joined(plan.autoFiles) == L"Syntax\\css.x|Colors\\light.txt|foo.exe");
    CHECK(Joined(plan.autoDirectories) == L"Syntax\\|Colors\\");
    CHECK(Joined(plan.deleteFiles) == L"settings.ini|*.log");
    CHECK(Joined(plan.askDeleteFiles) == L"notes.txt");
    CHECK(Joined(plan.deleteDirectories) == L"cache");
    CHECK(plan.exeFile == L"foo.exe");
    CHECK(plan.programName == L"Foo");
    CHECK(plan.perUser);
    CHECK(plan.createdDirectories.length() == 0);
    CHECK(UnsafeItem(plan).isEmpty());

    // The folders made above the directory for it, a line that older uninstallers ignore.
    plan = Plan(L"path=C:\\Apps\\Tools\\Foo\r\nexe-file=foo.exe\r\nname=Foo\r\n"
                L"created-directories=C:\\Apps\\Tools\\|c:\\apps",
                L"C:\\Apps\\Tools\\Foo\\Foo.de");
    CHECK(Joined(plan.createdDirectories) == L"C:\\Apps\\Tools\\|c:\\apps");
    CHECK(UnsafeItem(plan).isEmpty());
}

TEST_CASE("optional keys may be missing; line feeds alone work too")
{
    UninstallPlan plan = Plan(L"path=C:\\Apps\\Foo\\\nauto-delete-files=foo.exe\nauto-delete-directories=\n"
                              L"exe-file=foo.exe\nname=Foo");
    CHECK(std::wstring(plan.installDir.text()) == L"C:\\Apps\\Foo"); // trailing backslash dropped
    CHECK(plan.autoDirectories.length() == 0);
    CHECK(plan.deleteFiles.length() == 0);
    CHECK(plan.askDeleteFiles.length() == 0);
    CHECK(plan.deleteDirectories.length() == 0);
    CHECK_FALSE(plan.perUser);
    CHECK(UnsafeItem(plan).isEmpty());
}

TEST_CASE("non-ASCII names arrive from the UTF-8 file intact")
{
    ScratchDir dir;
    std::wstring folder = dir.path(L"Żółw");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring dataFile = folder + L"\\Żółw.de";
    std::string narrowFolder;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, nullptr, 0, nullptr, nullptr);
    narrowFolder.resize(bytes - 1);
    WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, &narrowFolder[0], bytes, nullptr, nullptr);
    WriteWholeFile(dataFile, "path=" + narrowFolder + "\r\nauto-delete-files=\xC5\xBC\xC3\xB3\xC5\x82w.exe\r\n"
                             "exe-file=\xC5\xBC\xC3\xB3\xC5\x82w.exe\r\nname=\xC5\xBB\xC3\xB3\xC5\x82w");
    UninstallPlan plan = ReadDataFile(Str(dataFile.c_str())).plan;
    CHECK(plan.programName == L"Żółw");
    CHECK(Joined(plan.autoFiles) == L"żółw.exe");
    CHECK(std::wstring(plan.installDir.text()) == folder);
    CHECK(UnsafeItem(plan).isEmpty());
    CHECK_THROWS_AS(ReadDataFile(Str((folder + L"\\missing.de").c_str())), WinError);
}

} // TEST_SUITE

TEST_SUITE("safety") {

TEST_CASE("a data file that reaches outside its directory is refused as a whole")
{
    const wchar_t* base = L"path=C:\\Apps\\Foo\nauto-delete-files=foo.exe\nexe-file=foo.exe\nname=Foo\n";
    struct Case {
        const wchar_t* extra;
        const wchar_t* offending;
    } cases[] = {
        {L"delete-files=..\\..\\Windows\\win.ini", L"..\\..\\Windows\\win.ini"},
        {L"delete-files=C:\\Windows\\win.ini", L"C:\\Windows\\win.ini"},
        {L"ask-delete-files=\\boot.ini", L"\\boot.ini"},
        {L"delete-directories=.", L"."},
        {L"delete-directories=cache|sub\\..", L"sub\\.."},
        {L"delete-directories=/", L"/"},
        {L"auto-delete-directories=..\\", L"..\\"},
        {L"auto-delete-files=x|D:evil", L"D:evil"},
        {L"name=..\\..\\..\\Windows\\explorer", L"..\\..\\..\\Windows\\explorer"},
        {L"delete-files=settings.ini|NUL", L"NUL"},
        {L"auto-delete-files=x|COM1.txt", L"COM1.txt"},
        {L"ask-delete-files=notes.txt.", L"notes.txt."},
        {L"delete-directories=cache\\lpt1\\", L"cache\\lpt1\\"},
        {L"auto-delete-files=esc\x1B[2J", L"esc\x1B[2J"},
        {L"auto-delete-files=*.dll", L"*.dll"},
        {L"auto-delete-directories=*\\", L"*\\"},
        {L"name=aux", L"aux"},
        {L"created-directories=C:\\Apps|C:\\Windows", L"C:\\Windows"},
        {L"created-directories=C:\\", L"C:\\"},
        {L"created-directories=C:\\Apps\\Foo", L"C:\\Apps\\Foo"},
        {L"created-directories=C:\\Apps\\Fo", L"C:\\Apps\\Fo"},
        {L"created-directories=Apps", L"Apps"},
        {L"created-directories=C:\\Apps\\..\\Windows", L"C:\\Apps\\..\\Windows"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::wstring(c.extra));
        UninstallPlan plan = Plan((std::wstring(base) + c.extra).c_str());
        CHECK(std::wstring(UnsafeItem(plan).text()) == c.offending);
    }
}

TEST_CASE("path= must be absolute and be the data file's own folder")
{
    CHECK(UnsafeItem(Plan(L"path=Apps\\Foo\nname=Foo", L"Apps\\Foo\\Foo.de")) == L"Apps\\Foo");
    CHECK(UnsafeItem(Plan(L"path=C:\\Windows\nname=Foo")) == L"C:\\Windows");
    CHECK(UnsafeItem(Plan(L"path=C:\\\nname=Foo", L"C:\\Foo.de")) == L"C:\\");
    CHECK(UnsafeItem(Plan(L"name=Foo")) == L"path=");
    CHECK(UnsafeItem(Plan(L"path=C:\\Apps\\Foo\\sub\\..\\\nname=Foo")).isEmpty());
    CHECK(UnsafeItem(Plan(L"path=c:\\apps\\foo\nname=Foo")).isEmpty());
    // A step up that normalisation keeps is the drive's root in disguise.
    CHECK(UnsafeItem(Plan(L"path=C:\\..\nname=Foo", L"C:\\..\\Foo.de")) == L"C:\\..");
    CHECK(UnsafeItem(Plan(L"path=\\\\server\\share\\..\\..\nname=Foo", L"\\\\server\\..\\Foo.de")) ==
          L"\\\\server\\..");
}

} // TEST_SUITE

TEST_SUITE("removal") {

TEST_CASE("patterns match files inside the directory; trees go with their contents")
{
    ScratchDir scratch;
    std::wstring dir = scratch.path(L"App");
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW((dir + L"\\logs").c_str(), nullptr);
    CreateDirectoryW((dir + L"\\cache").c_str(), nullptr);
    CreateDirectoryW((dir + L"\\cache\\deep").c_str(), nullptr);
    WriteWholeFile(dir + L"\\a.log", "1");
    WriteWholeFile(dir + L"\\logs\\b.log", "2");
    WriteWholeFile(dir + L"\\keep.txt", "3");
    WriteWholeFile(dir + L"\\cache\\deep\\x.bin", "4");
    WriteWholeFile(dir + L"\\readonly.ini", "5");
    SetFileAttributesW((dir + L"\\readonly.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    Str base(dir.c_str());

    WriteWholeFile(dir + L"\\a.log.bak", "6");
    CHECK(Joined(ExpandItem(base, Str(L"*.log"), false)) == L"a.log"); // whole names, this level only
    CHECK(Joined(ExpandItem(base, Str(L"logs\\*"), false)) == L"logs\\b.log");
    CHECK(Joined(ExpandItem(base, Str(L"*\\*.log"), false)) == L"logs\\b.log");
    CHECK(Joined(ExpandItem(base, Str(L"c*"), true)) == L"cache");
    CHECK(Joined(ExpandItem(base, Str(L"cache\\d*"), true)) == L"cache\\deep");
    CHECK(ExpandItem(base, Str(L"missing.txt"), false).length() == 0);
    CHECK(ExpandItem(base, Str(L"cache"), false).length() == 0); // a directory is no file

    RemovalLog log;
    RemoveFileInside(base, Str(L"readonly.ini"), log);
    RemoveFileInside(base, Str(L"never-was.txt"), log);
    RemoveTreeInside(base, Str(L"cache"), log);
    RemoveEmptyDirectoryInside(base, Str(L"logs")); // not empty: stays
    CHECK(log.failed.length() == 0);
    CHECK_FALSE(FileExists(dir + L"\\readonly.ini"));
    CHECK_FALSE(DirectoryExists(dir + L"\\cache"));
    CHECK(DirectoryExists(dir + L"\\logs"));
    CHECK(FileExists(dir + L"\\keep.txt"));
}

TEST_CASE("a file held open is reported and the rest still goes")
{
    ScratchDir scratch;
    std::wstring dir = scratch.path(L"App");
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\held.dll", "x");
    WriteWholeFile(dir + L"\\free.dll", "y");
    HANDLE holder = CreateFileW((dir + L"\\held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    RemovalLog log;
    Str base(dir.c_str());
    RemoveFileInside(base, Str(L"held.dll"), log);
    RemoveFileInside(base, Str(L"free.dll"), log);
    CloseHandle(holder);
    REQUIRE(log.failed.length() == 1);
    CHECK(std::wstring(log.failed.ref(0).text()) == dir + L"\\held.dll");
    CHECK_FALSE(FileExists(dir + L"\\free.dll"));
}

} // TEST_SUITE
