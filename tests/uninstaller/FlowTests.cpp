#include "doctest.h"

#include "core/AppContext.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/TestFiles.h"
#include "uninstaller/Uninstall.h"

#include <windows.h>
#include <objbase.h>

namespace {

// An installed program in a scratch folder: files, a data file and a registry entry.
struct Installed {
    Installed()
    {
        CoInitialize(nullptr);
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        Language = LangEnglish;
        isAdmin = true;
        dir = scratch.path(L"LumivoFlowTest");
        CreateDirectoryW(dir.c_str(), nullptr);
        CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
        CreateDirectoryW((dir + L"\\cache").c_str(), nullptr);
        WriteWholeFile(dir + L"\\app.exe", "program");
        WriteWholeFile(dir + L"\\sub\\data.txt", "data");
        WriteWholeFile(dir + L"\\cache\\x.bin", "cached");
        WriteWholeFile(dir + L"\\notes.txt", "the user's notes");
        std::string path(dir.begin(), dir.end());
        WriteWholeFile(dataFile(), "path=" + path + "\r\nauto-delete-files=sub\\data.txt|app.exe\r\n"
                                   "auto-delete-directories=sub\\\r\nask-delete-files=notes.txt\r\n"
                                   "delete-directories=cache\r\nexe-file=app.exe\r\nname=LumivoFlowTest");
        registerDataFile(dataFile());
    }
    // The entry in the list of installed programs, naming the data file.
    void registerDataFile(const std::wstring& path)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(L"LumivoFlowTest")).text(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        std::wstring command = L"\"" + DirectoryOfPath(path) + L"_de_install.exe\" \"" + path + L"\"";
        RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(2 * (command.size() + 1)));
        RegCloseKey(key);
    }
    static std::wstring DirectoryOfPath(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }
    ~Installed()
    {
        StopAnsweringAlerts();
        UnregisterUninstaller(HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(L"LumivoFlowTest")));
        Language = LangPolish;
        DestroyAppContext(&context);
        CoUninitialize();
    }
    std::wstring dataFile() const { return dir + L"\\LumivoFlowTest.de"; }
    int run(bool quiet)
    {
        StrArray arguments;
        arguments.append(Str(dataFile().c_str()));
        if (quiet)
            arguments.append(Str(L"/S"));
        return RunUninstall(arguments);
    }
    bool registered() const
    {
        HKEY key = nullptr;
        bool found = RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(L"LumivoFlowTest")).text(), 0, KEY_READ,
                                   &key) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
        return found;
    }
    AppContext context = {};
    ScratchDir scratch;
    std::wstring dir;
};

} // namespace

TEST_SUITE("flow") {

TEST_CASE("quiet: everything named goes, the files that need a question stay")
{
    Installed program;
    CHECK(program.run(true) == 0);
    CHECK_FALSE(FileExists(program.dir + L"\\app.exe"));
    CHECK_FALSE(DirectoryExists(program.dir + L"\\sub"));
    CHECK_FALSE(DirectoryExists(program.dir + L"\\cache"));
    CHECK_FALSE(FileExists(program.dataFile()));
    CHECK(FileExists(program.dir + L"\\notes.txt"));
    CHECK_FALSE(program.registered());
}

TEST_CASE("/S counts anywhere after the program's name")
{
    Installed program;
    AnswerAlerts({});
    StrArray arguments;
    arguments.append(Str(L"/s"));
    arguments.append(Str(program.dataFile().c_str()));
    CHECK(RunUninstall(arguments) == 0);
    CHECK(SeenAlerts().empty());
    CHECK_FALSE(FileExists(program.dir + L"\\app.exe"));
    CHECK_FALSE(program.registered());

    StrArray none;
    none.append(Str(L"/S"));
    CHECK(RunUninstall(none) == 1); // no data file: nothing to do, and nothing said
    CHECK(SeenAlerts().empty());
}

TEST_CASE("a file in use keeps the registration and a data file of what is left, for another run")
{
    Installed program;
    HANDLE held = CreateFileW((program.dir + L"\\app.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    AnswerAlerts({0, 1, 0}); // remove: Yes; the user's notes: No; what could not be removed: OK
    CHECK(program.run(false) == 1);
    CloseHandle(held);
    REQUIRE(SeenAlerts().size() == 3);
    CHECK(SeenAlerts()[2].text.find(program.dir + L"\\app.exe") != std::wstring::npos);
    CHECK(SeenAlerts()[2].text.find(L"run the removal again from the list of installed programs") !=
          std::wstring::npos);
    CHECK(program.registered());
    std::string path(program.dir.begin(), program.dir.end());
    CHECK(ReadWholeFile(program.dataFile()) == "path=" + path + "\r\nauto-delete-files=app.exe\r\n"
                                               "auto-delete-directories=\r\nask-delete-files=notes.txt\r\n"
                                               "exe-file=app.exe\r\nname=LumivoFlowTest");
    CHECK_FALSE(FileExists(program.dir + L"\\sub\\data.txt"));
    CHECK_FALSE(DirectoryExists(program.dir + L"\\cache"));

    // Once the file is free, the removal from the list of installed programs finishes the work.
    CHECK(program.run(true) == 0);
    CHECK_FALSE(FileExists(program.dir + L"\\app.exe"));
    CHECK_FALSE(FileExists(program.dataFile()));
    CHECK_FALSE(program.registered());
}

TEST_CASE("folders made above the directory go when they end empty")
{
    Installed program;
    std::wstring outer = program.scratch.path(L"Outer"), inner = outer + L"\\Inner";
    CreateDirectoryW(outer.c_str(), nullptr);
    CreateDirectoryW(inner.c_str(), nullptr);
    std::wstring dir = inner + L"\\App";
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\app.exe", "program");
    WriteWholeFile(outer + L"\\other.txt", "someone else's");
    std::string narrowDir(dir.begin(), dir.end()), narrowInner(inner.begin(), inner.end()),
        narrowOuter(outer.begin(), outer.end());
    WriteWholeFile(dir + L"\\App.de", "path=" + narrowDir + "\r\nauto-delete-files=app.exe\r\nexe-file=app.exe\r\n"
                                      "name=LumivoFlowTest\r\ncreated-directories=" + narrowInner + "|" + narrowOuter);
    program.registerDataFile(dir + L"\\App.de");
    StrArray arguments;
    arguments.append(Str((dir + L"\\App.de").c_str()));
    arguments.append(Str(L"/S"));
    CHECK(RunUninstall(arguments) == 0);
    CHECK_FALSE(DirectoryExists(dir));
    CHECK_FALSE(DirectoryExists(inner));
    CHECK(FileExists(outer + L"\\other.txt")); // not empty: it stays
}

TEST_CASE("asked: Yes, then Yes to the user's files, removes everything and says so")
{
    Installed program;
    AnswerAlerts({0, 0, 0});
    CHECK(program.run(false) == 0);
    REQUIRE(SeenAlerts().size() == 3);
    CHECK(SeenAlerts()[0].text == L"Do you want to remove LumivoFlowTest and all of its components?");
    CHECK(SeenAlerts()[0].title == L"Uninstall - LumivoFlowTest");
    CHECK(SeenAlerts()[1].text.find(L"notes.txt") != std::wstring::npos);
    CHECK(SeenAlerts()[2].text == L"LumivoFlowTest has been removed from your computer.");
    CHECK_FALSE(FileExists(program.dir + L"\\notes.txt"));
    CHECK_FALSE(DirectoryExists(program.dir)); // the test program does not lie in it: removed at once
}

TEST_CASE("declining removes nothing and ends with 2")
{
    Installed program;
    AnswerAlerts({1});
    CHECK(program.run(false) == 2);
    CHECK(FileExists(program.dir + L"\\app.exe"));
    CHECK(program.registered());
}

TEST_CASE("a data file that reaches outside is refused with a message, and nothing goes")
{
    Installed program;
    std::string data = ReadWholeFile(program.dataFile());
    WriteWholeFile(program.dataFile(), data + "\r\ndelete-files=..\\..\\outside.txt");
    WriteWholeFile(program.scratch.path(L"outside.txt"), "not the program's");
    AnswerAlerts({0});
    CHECK(program.run(false) == 1);
    REQUIRE(SeenAlerts().size() == 1);
    CHECK(SeenAlerts()[0].text.find(L"points outside the program's directory:\n..\\..\\outside.txt") !=
          std::wstring::npos);
    CHECK(FileExists(program.dir + L"\\app.exe"));
    CHECK(program.registered());
}

TEST_CASE("with administrator rights, only the registered data file that users cannot change is obeyed")
{
    // A copy of the data file that the list of installed programs does not name.
    {
        Installed program;
        std::wstring copy = program.dir + L"\\copy.de";
        WriteWholeFile(copy, ReadWholeFile(program.dataFile()));
        AnswerAlerts({0});
        StrArray arguments;
        arguments.append(Str(copy.c_str()));
        CHECK(RunUninstall(arguments) == 1);
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text == L"The uninstall data file \"" + copy +
                                          L"\" is not the one registered for LumivoFlowTest in the list of "
                                          L"installed programs.\n\nNothing has been removed.");
        CHECK(FileExists(program.dir + L"\\app.exe"));
        CHECK(program.registered());
    }
    // The registered file, but one that everyone may change.
    {
        Installed program;
        LetEveryoneChange(program.dataFile());
        AnswerAlerts({0});
        CHECK(program.run(false) == 1);
        REQUIRE(SeenAlerts().size() == 1);
        CHECK(SeenAlerts()[0].text.find(L"can be changed by users without administrator rights") !=
              std::wstring::npos);
        CHECK(FileExists(program.dir + L"\\app.exe"));
        CHECK(FileExists(program.dir + L"\\cache\\x.bin"));
        CHECK(program.registered());
    }
}

TEST_CASE("with administrator rights, a data file marked per user is obeyed only as the user's own registered one")
{
    Installed program;
    // A copy elsewhere, marked per user, beside files of the same names.
    ScratchDir elsewhere;
    std::wstring dir = elsewhere.path(L"Copy"), copy = dir + L"\\LumivoFlowTest.de";
    CreateDirectoryW(dir.c_str(), nullptr);
    WriteWholeFile(dir + L"\\app.exe", "someone's program");
    std::string path(dir.begin(), dir.end());
    WriteWholeFile(copy, "path=" + path + "\r\nauto-delete-files=app.exe\r\nexe-file=app.exe\r\n"
                         "name=LumivoFlowTest\r\nprivate-install=1");
    StrArray arguments;
    arguments.append(Str(copy.c_str()));
    arguments.append(Str(L"/S"));
    CHECK(RunUninstall(arguments) == 1);
    CHECK(FileExists(dir + L"\\app.exe"));
    CHECK(FileExists(program.dir + L"\\app.exe"));
    CHECK(program.registered());
    // Registered in the running user's own list, it is obeyed.
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, UninstallKeyPath(Str(L"LumivoFlowTest")).text(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    std::wstring command = L"\"" + dir + L"\\_de_installu.exe\" \"" + copy + L"\"";
    RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(2 * (command.size() + 1)));
    RegCloseKey(key);
    CHECK(RunUninstall(arguments) == 0);
    CHECK_FALSE(FileExists(dir + L"\\app.exe"));
    UnregisterUninstaller(HKEY_CURRENT_USER, UninstallKeyPath(Str(L"LumivoFlowTest")));
}

TEST_CASE("an all-users removal without rights is done by an elevated copy")
{
    Installed program;
    isAdmin = false;
    ScratchDir record;
    std::wstring file = record.path(L"child.txt");
    SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_RECORD", file.c_str());
    SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_EXIT", L"0");
    int code = program.run(true);
    SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_RECORD", nullptr);
    SetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_EXIT", nullptr);
    CHECK(code == 0);
    std::string bytes = ReadWholeFile(file);
    std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    CHECK(line.find(L" " + program.dataFile() + L" /S") != std::wstring::npos);
    CHECK(FileExists(program.dir + L"\\app.exe")); // the copy did the work, not this process
}

} // TEST_SUITE
