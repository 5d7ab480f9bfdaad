// Entry point of every Windows test program: doctest with the wide command line as UTF-8.
#define DOCTEST_CONFIG_IMPLEMENT
#include "doctest.h"

#include <windows.h>

#include <string>
#include <vector>

// A test that starts this program again (the elevated relaunch) sets LUMIVO_TEST_CHILD_RECORD:
// the copy then only writes its command line (UTF-16) into that file and ends with the code in
// LUMIVO_TEST_CHILD_EXIT.
static bool RunAsRecordingChild(int& exitCode)
{
    wchar_t record[MAX_PATH];
    if (!GetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_RECORD", record, MAX_PATH))
        return false;
    const wchar_t* commandLine = GetCommandLineW();
    HANDLE file = CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, commandLine, static_cast<DWORD>(wcslen(commandLine) * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    wchar_t code[16] = L"0";
    GetEnvironmentVariableW(L"LUMIVO_TEST_CHILD_EXIT", code, 16);
    exitCode = _wtoi(code);
    return true;
}

int wmain(int argc, wchar_t** argv)
{
    int childCode = 0;
    if (RunAsRecordingChild(childCode))
        return childCode;

    std::vector<std::string> storage;
    for (int i = 0; i < argc; i++) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(bytes > 0 ? bytes - 1 : 0, '\0');
        if (bytes > 1)
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &arg[0], bytes, nullptr, nullptr);
        storage.push_back(arg);
    }
    std::vector<char*> args;
    for (std::string& arg : storage)
        args.push_back(&arg[0]);
    args.push_back(nullptr);

    doctest::Context context(argc, args.data());
    return context.run();
}
