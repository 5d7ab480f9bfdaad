// Every test case of a Windows test program ends within a deadline, or the program ends with a
// message naming the case and the windows that were open: a modal loop that waits for an answer
// that never comes must fail the run, not hang it.
#include "doctest.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

const DWORD DefaultDeadlineSeconds = 120;

CRITICAL_SECTION Guard;
char CurrentName[512];
DWORD CaseStart = 0;
bool CaseRunning = false;

BOOL CALLBACK PrintWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    wchar_t className[128] = {}, title[256] = {};
    GetClassNameW(window, className, 128);
    GetWindowTextW(window, title, 256);
    fprintf(stderr, "  open window: class \"%ls\", title \"%ls\"%s\n", className, title,
            GetActiveWindow() == window ? " (active)" : "");
    return TRUE;
}

DWORD WINAPI Watch(void* mainThread)
{
    DWORD deadline = DefaultDeadlineSeconds;
    char text[16];
    if (GetEnvironmentVariableA("LUMIVO_TEST_CASE_SECONDS", text, sizeof text))
        deadline = static_cast<DWORD>(atoi(text));
    for (;;) {
        Sleep(500);
        EnterCriticalSection(&Guard);
        bool late = CaseRunning && GetTickCount() - CaseStart > deadline * 1000;
        LeaveCriticalSection(&Guard);
        if (!late)
            continue;
        fprintf(stderr, "TIMEOUT: the test case \"%s\" did not end within %lu s\n", CurrentName,
                static_cast<unsigned long>(deadline));
        EnumThreadWindows(GetThreadId(static_cast<HANDLE>(mainThread)), PrintWindow, 0);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

struct Watchdog : doctest::IReporter {
    explicit Watchdog(const doctest::ContextOptions&)
    {
        InitializeCriticalSection(&Guard);
        HANDLE mainThread = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        HANDLE thread = CreateThread(nullptr, 0, Watch, mainThread, 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    void report_query(const doctest::QueryData&) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_start(const doctest::TestCaseData& data) override
    {
        EnterCriticalSection(&Guard);
        snprintf(CurrentName, sizeof CurrentName, "%s", data.m_name);
        CaseStart = GetTickCount();
        CaseRunning = true;
        LeaveCriticalSection(&Guard);
    }
    void test_case_reenter(const doctest::TestCaseData& data) override { test_case_start(data); }
    void test_case_end(const doctest::CurrentTestCaseStats&) override
    {
        EnterCriticalSection(&Guard);
        CaseRunning = false;
        LeaveCriticalSection(&Guard);
    }
    void test_case_exception(const doctest::TestCaseException&) override {}
    void subcase_start(const doctest::SubcaseSignature&) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData&) override {}
    void log_message(const doctest::MessageData&) override {}
    void test_case_skipped(const doctest::TestCaseData&) override {}
};

} // namespace

DOCTEST_REGISTER_LISTENER("watchdog", 1, Watchdog);
