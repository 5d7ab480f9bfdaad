#include "running/ClosePrograms.h"

#include "core/Owned.h"
#include "core/Path.h"
#include "running/ProcessDetails.h"
#include "running/RestartManager.h"

#include <windows.h>

namespace {

bool Closing(const RunningProgram& program)
{
    return program.keep == MayClose && program.closedBy != NotClosed;
}

BOOL CALLBACK PostCloseTo(HWND window, LPARAM parameter)
{
    RunningPrograms& running = *reinterpret_cast<RunningPrograms*>(parameter);
    DWORD processId = 0;
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) ||
        !GetWindowThreadProcessId(window, &processId))
        return TRUE;
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (program.processId == processId && program.closedBy == ClosedByMessage && Closing(program))
            PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

// The first program asked to close that has not ended yet, or null.
HANDLE StillClosing(const RunningPrograms& running)
{
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (Closing(program) && program.process && IsRunning(program))
            return program.process;
    }
    return nullptr;
}

// RmShutdown acts on every process of the session: those it must not touch are filtered out
// first. False when they cannot be.
bool SessionMayShutDown(const RunningPrograms& running, const RestartManagerCalls& manager)
{
    bool any = false;
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (!program.listedByRestartManager)
            continue;
        if (program.keep == MayClose) {
            any = true;
            continue;
        }
        RM_UNIQUE_PROCESS unique = {
            program.processId,
            {static_cast<DWORD>(program.startTime), static_cast<DWORD>(program.startTime >> 32)}};
        if (!manager.addFilter ||
            manager.addFilter(running.session, nullptr, &unique, nullptr, RmNoShutdown) != 0)
            return false;
    }
    return any;
}

struct ShutdownCall {
    const RestartManagerCalls* manager;
    DWORD session;
    DWORD result;
};

DWORD WINAPI RunShutdown(void* parameter)
{
    ShutdownCall& call = *static_cast<ShutdownCall*>(parameter);
    call.result = call.manager->shutdown(call.session, 0, nullptr);
    return 0;
}

void WaitABit(HANDLE handle, const Waiting& waiting)
{
    WaitForSingleObject(handle, 50);
    if (waiting.call)
        waiting.call(waiting.context);
}

} // namespace

void AskProgramsToClose(RunningPrograms& running, uint32_t timeoutMs, const Waiting& waiting)
{
    const RestartManagerCalls* manager = running.sessionOpen ? RestartManager() : nullptr;
    bool throughManager = manager && SessionMayShutDown(running, *manager);
    for (int64_t i = 0; i < running.programs.length(); i++) {
        RunningProgram& program = running.programs.ref(i);
        if (program.keep == MayClose)
            program.closedBy =
                throughManager && program.listedByRestartManager ? ClosedByRestartManager : ClosedByMessage;
    }
    EnumWindows(PostCloseTo, reinterpret_cast<LPARAM>(&running));

    ShutdownCall call = {manager, running.session, ERROR_SUCCESS};
    OwnedHandle thread;
    if (throughManager) {
        running.restartManagerShutDown = true;
        thread.reset(CreateThread(nullptr, 0, RunShutdown, &call, 0, nullptr));
        if (!thread)
            RunShutdown(&call);
    }
    uint64_t deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (thread && WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0)
            thread.reset();
        if (!thread && call.result != ERROR_SUCCESS) {
            // The Restart Manager did nothing, or not all: its programs get the message too.
            call.result = ERROR_SUCCESS;
            for (int64_t i = 0; i < running.programs.length(); i++) {
                RunningProgram& program = running.programs.ref(i);
                if (program.closedBy == ClosedByRestartManager && IsRunning(program))
                    program.closedBy = ClosedByMessage;
            }
            EnumWindows(PostCloseTo, reinterpret_cast<LPARAM>(&running));
        }
        HANDLE pending = thread ? thread.get() : StillClosing(running);
        if (!pending || GetTickCount64() >= deadline)
            break;
        WaitABit(pending, waiting);
    }
    if (thread) {
        // RmShutdown returns once its task is cancelled; call lives until then.
        if (manager->cancelCurrentTask)
            manager->cancelCurrentTask(running.session);
        while (WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT)
            WaitABit(thread.get(), waiting);
    }
}

void EndProgramsByForce(RunningPrograms& running, uint32_t timeoutMs, const Waiting& waiting)
{
    for (int64_t i = 0; i < running.programs.length(); i++) {
        RunningProgram& program = running.programs.ref(i);
        if (program.keep == MayClose && program.process && IsRunning(program) &&
            TerminateProcess(program.process, 1))
            program.closedBy = EndedByForce;
    }
    uint64_t deadline = GetTickCount64() + timeoutMs;
    while (HANDLE pending = StillClosing(running)) {
        if (GetTickCount64() >= deadline)
            break;
        WaitABit(pending, waiting);
    }
}

namespace {

bool ThisProcessElevated()
{
    OwnedHandle token;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive()) && TokenElevated(token.get());
}

bool StartAgain(const RunningProgram& program, bool elevated)
{
    if (program.imagePath.isEmpty() || program.commandLine.isEmpty())
        return false;
    Str line = Str::Allocate(program.commandLine.length()); // CreateProcessW may write into it
    memcpy(line.bufferForFilling(), program.commandLine.text(),
           program.commandLine.length() * sizeof(wchar_t));
    Str folder = program.currentDirectory;
    DWORD attributes = GetFileAttributesW(folder.text());
    if (folder.isEmpty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        folder = DirectoryOf(program.imagePath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    BOOL done;
    if (elevated && !(program.token && TokenElevated(program.token))) {
        // Not with this process's administrator rights: with the program's own token, or not at all.
        done = program.token &&
               CreateProcessWithTokenW(program.token, 0, program.imagePath.text(), line.bufferForFilling(), 0,
                                       nullptr, folder.text(), &startup, &started);
    } else {
        done = CreateProcessW(program.imagePath.text(), line.bufferForFilling(), nullptr, nullptr, FALSE, 0,
                              nullptr, folder.text(), &startup, &started);
    }
    if (!done)
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

} // namespace

void StartClosedProgramsAgain(RunningPrograms& running, const RestartReport& report)
{
    if (running.restartManagerShutDown)
        RestartManager()->restart(running.session, 0, nullptr);
    bool elevated = ThisProcessElevated();
    for (int64_t i = 0; i < running.programs.length(); i++) {
        const RunningProgram& program = running.programs.ref(i);
        if (!Closing(program) || IsRunning(program) ||
            (program.closedBy == ClosedByRestartManager && program.restartsItself))
            continue;
        report.call(report.context, program, StartAgain(program, elevated));
    }
}
