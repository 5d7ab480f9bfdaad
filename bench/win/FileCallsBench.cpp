// What each file system call costs when an installer writes many small files: 5,000 files of 1 to
// 8 KiB in 50 folders of 7 subfolders, written three ways, each call timed on its own:
//  - today's: a temporary file created, written and closed, moved over the destination, opened
//    again for its time, and its attributes set by name;
//  - fewest calls: the size set up front, one write, the time set on the open handle, closed, moved;
//  - the same with FlushFileBuffers before the close (durable before the move).
// Then the fewest calls, and files created in place without a temporary, on 1, 2 and 4 threads.
// Prints Markdown tables. Usage (under Wine): lumivo-file-calls-bench.exe FOLDER
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <initializer_list>

namespace {

enum Call { Create, SetSize, Write, SetTime, Flush, Close, Move, Reopen, SetAttributes, CallCount };
const char* const CallNames[CallCount] = {"CreateFileW (new temporary)", "SetFileInformationByHandle (size)",
                                          "WriteFile", "SetFileTime", "FlushFileBuffers", "CloseHandle",
                                          "MoveFileExW", "CreateFileW (reopen for the time)",
                                          "SetFileAttributesW"};

struct Costs {
    double seconds[CallCount];
    long calls[CallCount];
};

double Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(frequency.QuadPart);
}

struct Timer {
    Costs& costs;
    Call call;
    LARGE_INTEGER start;
    Timer(Costs& c, Call which) : costs(c), call(which) { QueryPerformanceCounter(&start); }
    ~Timer()
    {
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        costs.seconds[call] += double(end.QuadPart - start.QuadPart) / Frequency();
        costs.calls[call]++;
    }
};

enum Way { Today, Fewest, FewestFlushed, WayCount };
enum { Rounds = 2 };
const char* const WayNames[WayCount] = {"today's sequence", "fewest calls", "fewest calls + FlushFileBuffers"};

char Buffer[8192];

bool WriteOne(Way way, const wchar_t* destination, DWORD size, Costs& costs)
{
    wchar_t temporary[MAX_PATH];
    swprintf(temporary, MAX_PATH, L"%ls$$", destination);
    FILETIME time = {0x12345678, 0x01D00000};
    HANDLE file;
    {
        Timer t(costs, Create);
        file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (way != Today) {
        FILE_END_OF_FILE_INFO end;
        end.EndOfFile.QuadPart = size;
        Timer t(costs, SetSize);
        SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    }
    DWORD written = 0;
    {
        Timer t(costs, Write);
        WriteFile(file, Buffer, size, &written, nullptr);
    }
    if (way != Today) {
        Timer t(costs, SetTime);
        SetFileTime(file, nullptr, nullptr, &time);
    }
    if (way == FewestFlushed) {
        Timer t(costs, Flush);
        FlushFileBuffers(file);
    }
    {
        Timer t(costs, Close);
        CloseHandle(file);
    }
    {
        Timer t(costs, Move);
        if (!MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING))
            return false;
    }
    if (way == Today) {
        HANDLE again;
        {
            Timer t(costs, Reopen);
            again = CreateFileW(destination, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        }
        if (again != INVALID_HANDLE_VALUE) {
            {
                Timer t(costs, SetTime);
                SetFileTime(again, nullptr, nullptr, &time);
            }
            Timer t(costs, Close);
            CloseHandle(again);
        }
        Timer t(costs, SetAttributes);
        SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
    }
    return written == size;
}

// The fewest calls without a temporary: a destination that does not exist yet is created in
// place (a failed write would delete it), so no move.
bool WriteInPlace(const wchar_t* destination, DWORD size)
{
    FILETIME time = {0x12345678, 0x01D00000};
    HANDLE file = CreateFileW(destination, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, Buffer, size, &written, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return written == size;
}

// The same 5,000 files written by several threads, each taking the next folder.
struct ThreadedJob {
    wchar_t root[MAX_PATH];
    bool inPlace;
    volatile LONG nextFolder;
    volatile LONG failed;
};

DWORD WINAPI WriteFolders(void* parameter)
{
    ThreadedJob& job = *static_cast<ThreadedJob*>(parameter);
    Costs unused = {};
    for (;;) {
        LONG folder = InterlockedIncrement(&job.nextFolder) - 1;
        if (folder >= 50)
            return 0;
        for (int sub = 0; sub < 7; sub++) {
            int first = (5000 * (folder * 7 + sub)) / 350, end = (5000 * (folder * 7 + sub + 1)) / 350;
            wchar_t dir[MAX_PATH];
            swprintf(dir, MAX_PATH, L"%ls\\folder%ld", job.root, folder);
            CreateDirectoryW(dir, nullptr);
            swprintf(dir, MAX_PATH, L"%ls\\folder%ld\\part%d", job.root, folder, sub);
            CreateDirectoryW(dir, nullptr);
            for (int file = first; file < end; file++) {
                DWORD size = 1024 + (static_cast<unsigned>(file) * 2654435761u >> 8) % (7 * 1024 + 1);
                wchar_t path[MAX_PATH];
                swprintf(path, MAX_PATH, L"%ls\\file%d.txt", dir, file);
                if (!(job.inPlace ? WriteInPlace(path, size) : WriteOne(Fewest, path, size, unused)))
                    InterlockedExchange(&job.failed, 1);
            }
        }
    }
}

// Seconds to write the 5,000 files on the given number of threads.
double WriteThreaded(const wchar_t* base, int threads, bool inPlace)
{
    static ThreadedJob job;
    swprintf(job.root, MAX_PATH, L"%ls\\%ls%d", base, inPlace ? L"inplace" : L"fewest", threads);
    CreateDirectoryW(job.root, nullptr);
    job.inPlace = inPlace;
    job.nextFolder = 0;
    job.failed = 0;
    HANDLE handles[8];
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < threads; i++)
        handles[i] = CreateThread(nullptr, 0, WriteFolders, &job, 0, nullptr);
    WaitForMultipleObjects(threads, handles, TRUE, INFINITE);
    QueryPerformanceCounter(&end);
    for (int i = 0; i < threads; i++)
        CloseHandle(handles[i]);
    return job.failed ? -1 : double(end.QuadPart - start.QuadPart) / Frequency();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: lumivo-file-calls-bench FOLDER\n");
        return 2;
    }
    for (size_t i = 0; i < sizeof Buffer; i++)
        Buffer[i] = static_cast<char>('a' + i % 26);
    Costs costs[WayCount] = {};
    double wall[WayCount] = {};
    CreateDirectoryW(argv[1], nullptr);
    // Each way writes the whole tree, twice, the ways taking turns: files follow each other folder
    // by folder as an installer writes them (Wine looks names up faster in the folder it used
    // last), and a busy moment of the machine falls on all ways alike.
    for (int round = 0; round < Rounds; round++) {
        for (int way = 0; way < WayCount; way++) {
            unsigned seed = 12345;
            int file = 0;
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            for (int folder = 0; folder < 50; folder++) {
                for (int sub = 0; sub < 7; sub++) {
                    wchar_t dir[MAX_PATH];
                    swprintf(dir, MAX_PATH, L"%ls\\round%dway%d", argv[1], round, way);
                    CreateDirectoryW(dir, nullptr);
                    swprintf(dir, MAX_PATH, L"%ls\\round%dway%d\\folder%d", argv[1], round, way, folder);
                    CreateDirectoryW(dir, nullptr);
                    swprintf(dir, MAX_PATH, L"%ls\\round%dway%d\\folder%d\\part%d", argv[1], round, way, folder, sub);
                    CreateDirectoryW(dir, nullptr);
                    int inThis = (5000 * (folder * 7 + sub + 1)) / 350 - (5000 * (folder * 7 + sub)) / 350;
                    for (int i = 0; i < inThis; i++, file++) {
                        seed = seed * 1103515245u + 12345u;
                        DWORD size = 1024 + (seed >> 8) % (7 * 1024 + 1);
                        wchar_t path[MAX_PATH];
                        swprintf(path, MAX_PATH, L"%ls\\file%d.txt", dir, file);
                        if (!WriteOne(static_cast<Way>(way), path, size, costs[way])) {
                            fprintf(stderr, "lumivo-file-calls-bench: writing %ls failed (%lu)\n", path,
                                    GetLastError());
                            return 1;
                        }
                    }
                }
            }
            QueryPerformanceCounter(&end);
            wall[way] += double(end.QuadPart - start.QuadPart) / Frequency();
        }
    }

    printf("| call (5,000 files of 1-8 KiB) |");
    for (int way = 0; way < WayCount; way++)
        printf(" %s: calls, mean |", WayNames[way]);
    printf("\n|---|");
    for (int way = 0; way < WayCount; way++)
        printf("---|");
    printf("\n");
    for (int call = 0; call < CallCount; call++) {
        printf("| %s |", CallNames[call]);
        for (int way = 0; way < WayCount; way++) {
            if (costs[way].calls[call])
                printf(" %ld, %.0f us |", costs[way].calls[call],
                       1e6 * costs[way].seconds[call] / costs[way].calls[call]);
            else
                printf(" - |");
        }
        printf("\n");
    }
    printf("| **per file, all calls** |");
    for (int way = 0; way < WayCount; way++)
        printf(" **%.0f us** (%.2f s for 5,000) |", 1e6 * wall[way] / (5000 * Rounds), wall[way] / Rounds);
    printf("\n\nThe same files by several threads at once, each taking the next folder (time per file):\n\n"
           "| way | 1 thread | 2 threads | 4 threads |\n|---|---|---|---|\n");
    for (int inPlace = 0; inPlace < 2; inPlace++) {
        printf("| %s |", inPlace ? "in place (CREATE_NEW, no temporary, no move)" : "fewest calls (temporary, move)");
        for (int threads : {1, 2, 4}) {
            double seconds = WriteThreaded(argv[1], threads, inPlace != 0);
            if (seconds < 0) {
                fprintf(stderr, "lumivo-file-calls-bench: a threaded write failed\n");
                return 1;
            }
            printf(" %.0f us |", 1e6 * seconds / 5000);
        }
        printf("\n");
    }
    return 0;
}
