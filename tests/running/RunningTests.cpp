#include "doctest.h"

#include "core/AppContext.h"
#include "running/ClosingFlow.h"
#include "running/RestartManager.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> logged;
std::wstring asked;
bool answer = true;

// A Restart Manager that answers with the list a test gives, and notes what it was asked.
struct {
    std::vector<RM_PROCESS_INFO> list;
    std::vector<std::wstring> registered;
    std::vector<DWORD> filtered;
    std::vector<ULONG> shutdowns;
    int restarts = 0;
} fake;

DWORD WINAPI StartSession(DWORD* session, DWORD, WCHAR[]) { return *session = 7, 0; }
DWORD WINAPI EndSession(DWORD) { return 0; }
DWORD WINAPI Register(DWORD, UINT count, LPCWSTR files[], UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*)
{
    return fake.registered.assign(files, files + count), 0;
}
DWORD WINAPI GetList(DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO* info, DWORD* reasons)
{
    *needed = static_cast<UINT>(fake.list.size());
    if (*count < *needed)
        return ERROR_MORE_DATA;
    std::copy(fake.list.begin(), fake.list.end(), info);
    *count = *needed;
    return *reasons = 0;
}
// Closes the test program, the one listed process that no filter keeps, as the Restart Manager would.
DWORD WINAPI Shutdown(DWORD, ULONG flags, RM_WRITE_STATUS_CALLBACK)
{
    fake.shutdowns.push_back(flags);
    return PostMessageW(FindWindowW(L"Lumivo Running App", nullptr), WM_CLOSE, 0, 0) ? 0 : ERROR_INVALID_HANDLE;
}
DWORD WINAPI Restart(DWORD, DWORD, RM_WRITE_STATUS_CALLBACK) { return fake.restarts++, 0; }
DWORD WINAPI AddFilter(DWORD, LPCWSTR, RM_UNIQUE_PROCESS* process, LPCWSTR, RM_FILTER_ACTION)
{
    return fake.filtered.push_back(process->dwProcessId), 0;
}
const RestartManagerCalls FakeCalls = {StartSession, EndSession, Register, GetList,
                                       Shutdown,     Restart,    AddFilter, nullptr};

RM_PROCESS_INFO Listed(DWORD processId, const wchar_t* name, RM_APP_TYPE type, bool restartable)
{
    RM_PROCESS_INFO info = {{processId, {}}, {}, {}, type, 0, 0, restartable};
    lstrcpyW(info.strAppName, name);
    return info;
}

// The test program, copied into folder and started from there, holding folder\data.txt.
struct App {
    explicit App(const std::wstring& folder) : folder(folder)
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring program = std::wstring(self).substr(0, std::wstring(self).rfind(L'\\') + 1) + L"running-app.exe";
        CreateDirectoryW(folder.c_str(), nullptr);
        CopyFileW(program.c_str(), (folder + L"\\running-app.exe").c_str(), FALSE);
        WriteWholeFile(folder + L"\\data.txt", "data");
        std::wstring line = L"\"" + folder + L"\\running-app.exe\" \"" + folder + L".starts\"";
        STARTUPINFOW startup = {sizeof startup};
        REQUIRE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        CloseHandle(info.hThread);
        WaitFor("the program to start", [&] { return starts() == "started\r\n"; });
    }
    ~App()
    {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hProcess);
    }
    std::string starts() const { return FileExists(folder + L".starts") ? ReadWholeFile(folder + L".starts") : ""; }
    std::wstring folder;
    PROCESS_INFORMATION info = {};
};

bool Ask(ClosingHost&, const Str& names) { return asked = names.text(), answer; }
void Log(ClosingHost&, const Str& line) { logged.push_back(line.text()); }
ClosingHost Host(CloseChoice choice, bool asks)
{
    return ClosingHost{asks ? Ask : nullptr, Log, nullptr, nullptr, nullptr, choice, 5000, true};
}
bool Logged(const std::wstring& line) { return std::find(logged.begin(), logged.end(), line) != logged.end(); }

struct Fixture {
    Fixture()
    {
        Language = LangEnglish;
        logged.clear();
        fake = {};
        UseRestartManager(&FakeCalls);
    }
    ~Fixture() { UseRestartManager(nullptr); }
    ScratchDir scratch;
    std::wstring dir = scratch.path(L"Program");
    StrArray files()
    {
        StrArray paths;
        paths.append(Str((dir + L"\\data.txt").c_str()));
        paths.append(Str((dir + L"\\new.txt").c_str()));
        return paths;
    }
};

} // namespace

TEST_SUITE("closing")
{
    TEST_CASE_FIXTURE(Fixture, "the Restart Manager's programs: shut down through it; this process, Windows' left")
    {
        App app(scratch.path(L"Elsewhere")); // holds a file, but runs from another folder
        CreateDirectoryW(dir.c_str(), nullptr);
        WriteWholeFile(dir + L"\\data.txt", "data");
        fake.list = {Listed(app.info.dwProcessId, L"The App", RmMainWindow, true),
                     Listed(GetCurrentProcessId(), L"This Test", RmMainWindow, false),
                     Listed(0xFFFFFF00, L"Session Manager", RmCritical, false)};
        ClosingHost host = Host(CloseAsk, true);
        answer = false;
        RunningPrograms cancelled;
        CHECK(!CloseRunningPrograms(host, Str(dir.c_str()), files(), cancelled));
        CHECK(fake.registered == std::vector<std::wstring>{dir + L"\\data.txt"}); // the one that exists
        CHECK(asked == L"The App\nSession Manager \u2013 part of Windows, it cannot be closed");
        CHECK((fake.shutdowns.empty() && WaitForSingleObject(app.info.hProcess, 0) == WAIT_TIMEOUT));

        answer = true;
        RunningPrograms running;
        CHECK(CloseRunningPrograms(host, Str(dir.c_str()), files(), running));
        CHECK(fake.shutdowns == std::vector<ULONG>{0}); // without force
        CHECK(fake.filtered == std::vector<DWORD>{GetCurrentProcessId(), 0xFFFFFF00});
        CHECK(app.starts() == "started\r\nclosed\r\n");
        CHECK(Logged(L"Still running: Session Manager \u2013 part of Windows, it cannot be closed"));
        RestartClosedPrograms(host, running);
        CHECK(fake.restarts == 1); // it registered for a restart: the Restart Manager's task
        CHECK(!Logged(L"Started again: The App"));
    }
}
