#include "support/StackSampler.h"

#include <stdio.h>

namespace {

std::string FrameName(DWORD64 address)
{
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = L"?";
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(address), &module))
        GetModuleFileNameW(module, path, MAX_PATH);
    const wchar_t* name = wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path;
    char text[MAX_PATH + 32];
    snprintf(text, sizeof text, "%ls+0x%llx", name,
             static_cast<unsigned long long>(address - reinterpret_cast<DWORD64>(module)));
    return text;
}

// The return addresses of a suspended thread, innermost first, unwound with the images' own tables.
std::string Stack(CONTEXT context)
{
    std::string line;
    for (int frame = 0; frame < 16 && context.Rip; frame++) {
        line += (frame ? " < " : " ") + FrameName(context.Rip);
        DWORD64 base = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (!function) { // a leaf function: the return address is on top of the stack
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += 8;
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &establisher,
                         nullptr);
    }
    return line;
}

} // namespace

StackSampler::StackSampler(HANDLE thread, DWORD intervalMs, DWORD afterMs) : interval(intervalMs), after(afterMs)
{
    InitializeCriticalSection(&lock);
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &target, 0, FALSE, DUPLICATE_SAME_ACCESS);
    stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    this->thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

StackSampler::~StackSampler()
{
    SetEvent(stop);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(stop);
    if (target)
        CloseHandle(target);
    DeleteCriticalSection(&lock);
}

void StackSampler::arm()
{
    InterlockedExchange(&armedAt, static_cast<LONG>(GetTickCount() + 1));
}

void StackSampler::disarm()
{
    InterlockedExchange(&armedAt, 0);
}

std::vector<std::string> StackSampler::samples()
{
    EnterCriticalSection(&lock);
    std::vector<std::string> copy = taken;
    LeaveCriticalSection(&lock);
    return copy;
}

DWORD WINAPI StackSampler::Run(void* self)
{
    static_cast<StackSampler*>(self)->run();
    return 0;
}

void StackSampler::run()
{
    while (WaitForSingleObject(stop, interval) == WAIT_TIMEOUT) {
        LONG since = armedAt;
        DWORD armedFor = GetTickCount() - static_cast<DWORD>(since - 1);
        if (!since || armedFor < after || !target || SuspendThread(target) == static_cast<DWORD>(-1))
            continue;
        // Nothing that may lock (the heap, the loader) while the thread is held: it may own the lock.
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_FULL;
        bool got = GetThreadContext(target, &context);
        ResumeThread(target);
        // Unwound from the live stack: good enough for a thread that stays in one long call.
        std::string line = got ? Stack(context) : std::string(" (no context)");
        char head[32];
        snprintf(head, sizeof head, "+%lu ms", static_cast<unsigned long>(armedFor));
        EnterCriticalSection(&lock);
        taken.push_back(head + line);
        LeaveCriticalSection(&lock);
    }
}
