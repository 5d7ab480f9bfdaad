#include "installer/FileFlusher.h"

#include "core/Error.h"

#include <windows.h>

#include <new>

enum : int32_t {
    FlushThreads = 4, // flushing waits for the disk: more threads than processors keep its queue full
    MaxInFlight = 64, // files handed over and not yet closed; each holds an open handle
    WaitSliceMs = 50,
};
enum : uint32_t { FlushThreadStackSize = 64 << 10 };

struct QueuedFile {
    HANDLE file;
    int64_t ticket;
};

// Shared with the threads under the lock; they see handles and numbers only, never texts.
struct FlusherState {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE workReady; // a file is queued, or the threads must end
    CONDITION_VARIABLE closed;    // a file was flushed and closed
    QueuedFile queue[MaxInFlight];
    int32_t head;     // the oldest queued file
    int32_t queued;   // files waiting for a thread
    int32_t inFlight; // queued or being flushed
    int64_t failedTicket; // the first file, in the order handed over, that could not be flushed; -1: none
    uint32_t failedCode;
    bool callerWaiting;
    bool stopping;
    bool threadsStarted;
    HANDLE threads[FlushThreads];
    int32_t threadCount;
};

static void NoteFailure(FlusherState& s, int64_t ticket, uint32_t code)
{
    if (s.failedTicket < 0 || ticket < s.failedTicket) {
        s.failedTicket = ticket;
        s.failedCode = code ? code : ERROR_GEN_FAILURE;
    }
}

// Flushes and closes the file; 0 or the code of the failed flush.
static uint32_t FlushAndClose(HANDLE file)
{
    uint32_t code = FlushFileBuffers(file) ? 0 : GetLastError();
    CloseHandle(file);
    return code;
}

static DWORD WINAPI FlushThreadMain(void* parameter)
{
    FlusherState& s = *static_cast<FlusherState*>(parameter);
    EnterCriticalSection(&s.lock);
    for (;;) {
        while (s.queued == 0 && !s.stopping)
            SleepConditionVariableCS(&s.workReady, &s.lock, INFINITE);
        if (s.queued == 0)
            break; // stopping, and nothing is left
        QueuedFile item = s.queue[s.head];
        s.head = (s.head + 1) % MaxInFlight;
        s.queued--;
        LeaveCriticalSection(&s.lock);

        uint32_t code = FlushAndClose(item.file);

        EnterCriticalSection(&s.lock);
        s.inFlight--;
        if (code)
            NoteFailure(s, item.ticket, code);
        if (s.callerWaiting)
            WakeAllConditionVariable(&s.closed);
    }
    LeaveCriticalSection(&s.lock);
    return 0;
}

FileFlusher::FileFlusher() : state(nullptr)
{
    FlusherState* s = new (AllocateZeroed(sizeof(FlusherState))) FlusherState();
    InitializeCriticalSection(&s->lock);
    InitializeConditionVariable(&s->workReady);
    InitializeConditionVariable(&s->closed);
    s->failedTicket = -1;
    state = s;
    paths.makeEmpty();
}

FileFlusher::~FileFlusher()
{
    FlusherState& s = *state;
    EnterCriticalSection(&s.lock);
    s.stopping = true;
    WakeAllConditionVariable(&s.workReady);
    LeaveCriticalSection(&s.lock);
    // The threads close whatever is still queued before they end.
    for (int32_t i = 0; i < s.threadCount; i++) {
        WaitForSingleObject(s.threads[i], INFINITE);
        CloseHandle(s.threads[i]);
    }
    for (; s.queued > 0; s.queued--, s.head = (s.head + 1) % MaxInFlight)
        CloseHandle(s.queue[s.head].file);
    DeleteCriticalSection(&s.lock);
    s.~FlusherState();
    FreeBlock(&s);
}

void FileFlusher::add(OwnedFileHandle& file, const Str& path, const WaitHandler* whileWaiting)
{
    FlusherState& s = *state;
    if (!s.threadsStarted) {
        s.threadsStarted = true;
        for (int32_t i = 0; i < FlushThreads; i++) {
            HANDLE thread = CreateThread(nullptr, FlushThreadStackSize, FlushThreadMain, &s,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (thread)
                s.threads[s.threadCount++] = thread;
        }
    }
    int64_t ticket = paths.length();
    paths.append(path);
    if (s.threadCount == 0) {
        // No thread could be started: flushed here, as it would be without the threads.
        uint32_t code = FlushAndClose(file.detach());
        if (code) {
            EnterCriticalSection(&s.lock);
            NoteFailure(s, ticket, code);
            LeaveCriticalSection(&s.lock);
        }
        return;
    }
    EnterCriticalSection(&s.lock);
    while (s.inFlight >= MaxInFlight) {
        s.callerWaiting = true;
        SleepConditionVariableCS(&s.closed, &s.lock, WaitSliceMs);
        s.callerWaiting = false;
        if (whileWaiting) {
            LeaveCriticalSection(&s.lock);
            whileWaiting->call(whileWaiting->context);
            EnterCriticalSection(&s.lock);
        }
    }
    s.queue[(s.head + s.queued) % MaxInFlight] = QueuedFile{file.detach(), ticket};
    s.queued++;
    s.inFlight++;
    WakeConditionVariable(&s.workReady);
    LeaveCriticalSection(&s.lock);
}

void FileFlusher::waitUntilIdle(const WaitHandler* whileWaiting)
{
    FlusherState& s = *state;
    EnterCriticalSection(&s.lock);
    while (s.inFlight > 0) {
        s.callerWaiting = true;
        SleepConditionVariableCS(&s.closed, &s.lock, WaitSliceMs);
        s.callerWaiting = false;
        if (whileWaiting && s.inFlight > 0) {
            LeaveCriticalSection(&s.lock);
            whileWaiting->call(whileWaiting->context);
            EnterCriticalSection(&s.lock);
        }
    }
    LeaveCriticalSection(&s.lock);
}

void FileFlusher::await(const WaitHandler* whileWaiting)
{
    waitUntilIdle(whileWaiting);
    FlusherState& s = *state;
    int64_t failed = s.failedTicket; // nothing is in flight: the threads do not touch it now
    uint32_t code = s.failedCode;
    s.failedTicket = -1;
    StrArray names = paths;
    paths.makeEmpty();
    if (failed >= 0)
        ThrowWinError(code, names.ref(failed).text(), L"FlushFileBuffers");
}

void FileFlusher::drain()
{
    waitUntilIdle(nullptr);
    state->failedTicket = -1;
    paths.makeEmpty();
}

int64_t FileFlusher::inFlight() const
{
    EnterCriticalSection(&state->lock);
    int64_t count = state->inFlight;
    LeaveCriticalSection(&state->lock);
    return count;
}
