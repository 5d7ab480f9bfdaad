#include "running/RunningPrograms.h"

#include "core/CharCase.h"
#include "core/Owned.h"
#include "core/Path.h"
#include "running/ProcessDetails.h"
#include "running/RestartManager.h"

#include <tlhelp32.h>
#include <windows.h>

namespace {

// What every program found is compared with.
struct Search {
    Str folder;   // normalised, without a final backslash
    Str ownImage; // this program's file: its copies are never closed
    bool administrator;
};

bool LiesIn(const Str& path, const Str& folder)
{
    return path.length() > folder.length() && path.text()[folder.length()] == L'\\' &&
           StrEqualNoCase(path.text(), folder.length(), folder.text(), folder.length());
}

Str FileNameOf(const Str& path)
{
    const wchar_t* slash = wcsrchr(path.text(), L'\\');
    return slash ? Str(slash + 1) : path;
}

int64_t IndexOf(const RunningPrograms& found, uint32_t processId)
{
    for (int64_t i = 0; i < found.programs.length(); i++)
        if (found.programs.ref(i).processId == processId)
            return i;
    return -1;
}

// Adds the process of that id, when it is still the one that started at startTime (0: any).
void Add(RunningPrograms& found, const Search& search, uint32_t processId, uint64_t startTime,
         const Str& name, KeepReason keep)
{
    OwnedHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    RunningProgram program = {};
    program.processId = processId;
    program.keep = keep;
    OwnedHandle token;
    if (process) {
        program.startTime = ProcessStartTime(process.get());
        if (startTime && program.startTime != startTime)
            return; // ended; another process has its id now
        program.imagePath = ProcessImagePath(process.get());
        HANDLE owned = nullptr;
        bool sameUser = RunsAsThisUser(process.get(), owned);
        token.reset(owned);
        if (keep == MayClose && !sameUser && !search.administrator)
            program.keep = OtherUser;
        ReadProcessStart(processId, program.commandLine, program.currentDirectory);
    } else if (keep == MayClose) {
        program.keep = search.administrator ? MayClose : OtherUser;
    }
    if (processId == GetCurrentProcessId() ||
        (!program.imagePath.isEmpty() && StrEqualNoCase(program.imagePath, search.ownImage)))
        program.keep = ThisProgram;
    program.name = !name.isEmpty() ? name : FileNameOf(program.imagePath);
    program.process = process.get();
    program.token = token.get();
    found.programs.append(program);
    process.detach();
    token.detach();
}

// The Restart Manager's list of the processes that hold the files that exist.
void AskRestartManager(RunningPrograms& found, const Search& search, const StrArray& files)
{
    const RestartManagerCalls* manager = RestartManager();
    if (!manager)
        return;
    PtrArray existing; // the texts stay alive in files
    existing.makeEmpty();
    for (int64_t i = 0; i < files.length(); i++) {
        DWORD attributes = GetFileAttributesW(files.ref(i).text());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            existing.append(const_cast<wchar_t*>(files.ref(i).text()));
    }
    if (existing.length() == 0)
        return;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1];
    if (manager->startSession(&session, 0, key) != ERROR_SUCCESS)
        return;
    found.session = session;
    found.sessionOpen = true;
    if (manager->registerResources(session, static_cast<UINT>(existing.length()),
                                   const_cast<LPCWSTR*>(reinterpret_cast<wchar_t**>(existing.items())), 0,
                                   nullptr, 0, nullptr) != ERROR_SUCCESS)
        return;
    ByteArray buffer; // RM_PROCESS_INFO records
    buffer.makeEmpty();
    UINT needed = 0, count = 0;
    DWORD reasons = 0, result = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && result == ERROR_MORE_DATA; attempt++) {
        buffer.resize(needed * sizeof(RM_PROCESS_INFO)); // the list may grow between two calls
        count = needed;
        result = manager->getList(session, &needed, &count,
                                  reinterpret_cast<RM_PROCESS_INFO*>(buffer.items()), &reasons);
    }
    if (result != ERROR_SUCCESS)
        return;
    for (UINT i = 0; i < count && (i + 1) * sizeof(RM_PROCESS_INFO) <= static_cast<uint64_t>(buffer.length());
         i++) {
        const RM_PROCESS_INFO& info = reinterpret_cast<const RM_PROCESS_INFO*>(buffer.items())[i];
        uint64_t start = (static_cast<uint64_t>(info.Process.ProcessStartTime.dwHighDateTime) << 32) |
                         info.Process.ProcessStartTime.dwLowDateTime;
        if (IndexOf(found, info.Process.dwProcessId) < 0)
            Add(found, search, info.Process.dwProcessId, start, Str(info.strAppName),
                info.ApplicationType == RmCritical ? PartOfWindows : MayClose);
        int64_t at = IndexOf(found, info.Process.dwProcessId);
        if (at >= 0) {
            found.programs.ref(at).listedByRestartManager = true;
            found.programs.ref(at).restartsItself = info.bRestartable != 0;
        }
    }
}

// Every process whose program file lies in the folder.
void LookAtProcesses(RunningPrograms& found, const Search& search)
{
    OwnedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == 0 || IndexOf(found, entry.th32ProcessID) >= 0)
            continue;
        OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && LiesIn(ProcessImagePath(process.get()), search.folder))
            Add(found, search, entry.th32ProcessID, ProcessStartTime(process.get()), Str(), MayClose);
    }
}

} // namespace

static void Forget(RunningPrograms& found);

void FindRunningPrograms(const Str& dir, const StrArray& files, bool administrator, RunningPrograms& found)
{
    Forget(found);
    Search search;
    search.folder = NormalizePath(dir);
    while (search.folder.length() > 0 && search.folder.text()[search.folder.length() - 1] == L'\\')
        search.folder = Str(search.folder.text(), search.folder.length() - 1);
    DWORD attributes = GetFileAttributesW(search.folder.text());
    if (search.folder.isEmpty() || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return; // nothing can run from a folder that is not there
    search.ownImage = ProcessImagePath(GetCurrentProcess());
    search.administrator = administrator;
    AskRestartManager(found, search, files);
    LookAtProcesses(found, search);
}

bool IsRunning(const RunningProgram& program)
{
    return !program.process || WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT;
}

bool Shown(const RunningProgram& program)
{
    return program.keep != ThisProgram && IsRunning(program);
}

static void Forget(RunningPrograms& found)
{
    for (int64_t i = 0; i < found.programs.length(); i++) {
        if (found.programs.ref(i).process)
            CloseHandle(found.programs.ref(i).process);
        if (found.programs.ref(i).token)
            CloseHandle(found.programs.ref(i).token);
    }
    found.programs.release();
    if (found.sessionOpen)
        RestartManager()->endSession(found.session);
    found.sessionOpen = found.restartManagerShutDown = false;
}

RunningPrograms::~RunningPrograms()
{
    Forget(*this);
}
