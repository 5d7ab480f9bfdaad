// What one installed file costs, call by call, on the path that the installer takes: the journal
// record, the new temporary file (created, checked, written, stamped, flushed), the previous file
// kept aside beside itself, the temporary moved into place. Then the same files once more without the flush,
// to show its share; and the path of earlier versions for comparison. Run under Wine, in a folder
// on the disk to measure:
//   tools/wine-run build/win/bench/files/lumivo-file-bench.exe 'C:\bench-files' 2000
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

enum Call { Journal, Create, Check, Write, Stamp, Flush, Close, OpenPrevious, KeepAside, MoveIn, CallCount };
const char* const CallNames[CallCount] = {"journal record",
                                          "CreateFileW (CREATE_NEW)",
                                          "GetFileInformationByHandleEx (tag)",
                                          "WriteFile (4 KiB)",
                                          "SetFileTime",
                                          "FlushFileBuffers",
                                          "CloseHandle",
                                          "open previous (DELETE, no sharing)",
                                          "rename previous aside",
                                          "rename temporary into place"};

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// File i of a payload spread over 50 folders, as applications are.
std::wstring PathOf(const std::wstring& folder, int i)
{
    std::wstring directory = folder + L"\\d" + std::to_wstring(i % 50);
    CreateDirectoryW(directory.c_str(), nullptr);
    return directory + L"\\file" + std::to_wstring(i) + L".txt";
}

bool Rename(HANDLE file, const std::wstring& to)
{
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + to.size() * 2);
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(to.size() * 2);
    memcpy(info->FileName, to.data(), to.size() * 2);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
}

// Installs count files over the previous ones; the seconds each kind of call took in all.
std::vector<double> Upgrade(const std::wstring& folder, int count, int round, bool flush)
{
    std::vector<double> spent(CallCount, 0.0);
    std::wstring backups = folder + L"\\backup" + std::to_wstring(round);
    CreateDirectoryW(backups.c_str(), nullptr);
    HANDLE journal =
        CreateFileW((backups + L"\\journal").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    std::vector<char> bytes(4096, 'x');
    FILETIME time = {0x12345678, 0x01d00000};
    for (int i = 0; i < count; i++) {
        std::wstring path = PathOf(folder, i);
        std::wstring temporary = path + L".0123456789abcdef$$";
        std::wstring aside = path + L".fedcba987654321" + std::to_wstring(round) + L"$$";
        DWORD written;
        double t = Now(), u;
        std::string record =
            "put " + std::to_string(i) + " a record of about a hundred bytes, as paths make it\n";
        WriteFile(journal, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        u = Now(), spent[Journal] += u - t, t = u;
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        u = Now(), spent[Create] += u - t, t = u;
        FILE_ATTRIBUTE_TAG_INFO info;
        GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info);
        u = Now(), spent[Check] += u - t, t = u;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        u = Now(), spent[Write] += u - t, t = u;
        SetFileTime(file, nullptr, nullptr, &time);
        u = Now(), spent[Stamp] += u - t, t = u;
        if (flush)
            FlushFileBuffers(file);
        u = Now(), spent[Flush] += u - t, t = u;
        HANDLE previous = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        u = Now(), spent[OpenPrevious] += u - t, t = u;
        if (previous != INVALID_HANDLE_VALUE) {
            Rename(previous, aside);
            CloseHandle(previous);
        }
        u = Now(), spent[KeepAside] += u - t, t = u;
        Rename(file, path);
        u = Now(), spent[MoveIn] += u - t, t = u;
        CloseHandle(file);
        u = Now(), spent[Close] += u - t, t = u;
    }
    CloseHandle(journal);
    return spent;
}

// The path of earlier versions: a fixed temporary name, written and closed, moved over the
// destination, reopened for its time, its attributes set; nothing flushed, nothing kept.
double UpgradeAsBefore(const std::wstring& folder, int count)
{
    std::vector<char> bytes(4096, 'x');
    FILETIME time = {0x12345678, 0x01d00000};
    double start = Now();
    for (int i = 0; i < count; i++) {
        std::wstring path = PathOf(folder, i);
        std::wstring temporary = path + L"$$";
        DWORD written;
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, nullptr, &time);
        CloseHandle(file);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    return Now() - start;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: lumivo-file-bench FOLDER [FILES]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    int count = argc >= 3 ? _wtoi(argv[2]) : 2000;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        fprintf(stderr, "the folder must not exist yet\n");
        return 1;
    }
    Upgrade(folder, count, 0, true); // a first installation: nothing to keep aside
    double before = UpgradeAsBefore(folder, count);
    printf("%d files of 4 KiB replaced as before (fixed temporary name, nothing kept, no flush): %.1f us a "
           "file, "
           "%.2f s in all\n",
           count, before / count * 1e6, before);
    for (bool flush : {true, false}) {
        std::vector<double> spent = Upgrade(folder, count, flush ? 1 : 2, flush);
        double total = 0;
        printf("%d files of 4 KiB replaced, %s:\n", count, flush ? "flushed" : "not flushed");
        for (int call = 0; call < CallCount; call++) {
            printf("  %-36s %8.1f us a file\n", CallNames[call], spent[call] / count * 1e6);
            total += spent[call];
        }
        printf("  %-36s %8.1f us a file, %.2f s in all\n", "together", total / count * 1e6, total);
    }
    return 0;
}
