#include "doctest.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "script/InstallScript.h"

#include <windows.h>

// The archive that ResourceArchive.rc embeds.
TEST_SUITE("resource") {

TEST_CASE("the archive in resource 103 is used in place")
{
    AppContext context = {};
    CreateAppContext(&context, GetModuleHandleW(nullptr));
    ReleaseArchive();
    LocateArchive();
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(103), RT_RCDATA);
    REQUIRE(resource);
    CHECK(Payload.base == LockResource(LoadResource(nullptr, resource)));
    CHECK(Payload.length == static_cast<int32_t>(SizeofResource(nullptr, resource)));
    CHECK(Payload.fileView == nullptr); // no view of the program file: the resource is used in place

    StrArray names = ListEntryNames();
    REQUIRE(names.length() == 2);
    CHECK(names.at(0) == L"install.script");
    CHECK(names.at(1) == L"docs\\readme.txt");
    Str readme = ReadEntryText(L"DOCS\\README.TXT");
    CHECK(readme.length() > 1000);
    CHECK(Str(readme.text(), 36) == L"Read me from resource 103, line 1.\r\n");
    CHECK(LastEntryTime == 133444736000000000ull); // 2023-11-14 22:13:20 UTC

    isAdmin = true;
    Language = LangPolish;
    LoadInstallScript();
    CHECK(Script.programName == L"Z zasobu");
    CHECK(Script.exeFile == L"app.exe");
    CHECK(Script.installDir == Concat(ProgramFilesDir(), Str(L"Z zasobu")));
    ReleaseInstallScript();
    ReleaseArchive();
    DestroyAppContext(&context);
}

} // TEST_SUITE
