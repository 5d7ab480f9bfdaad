// What reading ahead gains on its own: every entry of an installer read in order with ReadEntry,
// against the same entries through the EntryPipeline (one worker, and one per processor), read
// piece by piece as the installer reads them, nothing written. Medians of three, runs alternated.
// Prints one Markdown table row. ReadEntry reaches a file of a solid block by decoding its block
// from the start, so for an installer of solid blocks it would measure only that repetition (hours
// on many small files): there the row has no ReadEntry column.
// Usage (under Wine): lumivo-pipeline-bench.exe SETUP.exe [TITLE]
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryPipeline.h"
#include "core/Error.h"
#include "core/Owned.h"

#include <windows.h>

#include <stdio.h>

static double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

static double Median3(double a, double b, double c)
{
    return a > b ? (b > c ? b : (a > c ? c : a)) : (a > c ? a : (b > c ? c : b));
}

static double ReadInOrder(const StrArray& names)
{
    double start = Now();
    for (int64_t i = 0; i < names.length(); i++)
        ReadEntry(names.ref(i).text(), names.ref(i).length());
    return Now() - start;
}

static double ReadThroughPipeline(const StrArray& names, int32_t workers)
{
    double start = Now();
    PipelineLimits limits = DefaultPipelineLimits();
    limits.workers = workers;
    EntryPipeline pipeline(names, limits);
    for (int64_t i = 0; i < names.length(); i++) {
        // Piece by piece, as the installer takes them; nothing is gathered.
        pipeline.take();
        ByteSource pieces = pipeline.source();
        const uint8_t* piece;
        int64_t count;
        while (pieces.next(pieces.context, &piece, &count)) {
        }
    }
    return Now() - start;
}

// The installer's archive as the installer finds it: resource 103 of its image, else appended.
// The module holds the resource and must stay loaded while the archive is in use.
static void UseInstallerArchive(const wchar_t* path, OwnedLibrary& module)
{
    module.reset(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    HRSRC resource = module ? FindResourceW(module.get(), MAKEINTRESOURCEW(103), RT_RCDATA) : nullptr;
    HGLOBAL loaded = resource ? LoadResource(module.get(), resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data && SizeofResource(module.get(), resource) > 0) {
        // An image resource module's handle is its image's address with the low bits set.
        const uint8_t* image = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(module.get()) & ~uintptr_t(3));
        UseArchive(static_cast<const uint8_t*>(data), static_cast<int32_t>(SizeofResource(module.get(), resource)), image);
        return;
    }
    module.reset();
    UseArchiveFile(Str(path));
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: lumivo-pipeline-bench SETUP.exe [TITLE]\n");
        return 2;
    }
    try {
        OwnedLibrary module;
        UseInstallerArchive(argv[1], module);
        StrArray names = ListEntryNames();
        int64_t bytes = 0;
        bool solid = false;
        for (int64_t i = 0; i < names.length(); i++) {
            const EntryLocation* location = LocateEntry(names.ref(i).text(), names.ref(i).length());
            bytes += location->entry.size;
            solid = solid || location->file >= 0;
        }
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        int32_t cores = static_cast<int32_t>(info.dwNumberOfProcessors);

        double ordered[3], single[3], parallel[3];
        for (int run = 0; run < 3; run++) {
            ordered[run] = solid ? 0 : ReadInOrder(names);
            single[run] = ReadThroughPipeline(names, 1);
            parallel[run] = ReadThroughPipeline(names, cores);
        }
        double o = Median3(ordered[0], ordered[1], ordered[2]);
        double s = Median3(single[0], single[1], single[2]);
        double p = Median3(parallel[0], parallel[1], parallel[2]);
        double mb = double(bytes) / 1e6;
        const wchar_t* title = argc > 2 ? argv[2] : L"payload";
        if (solid)
            printf("| %ls, %lld entries | - | %.3f s (%.0f MB/s) | %.3f s (%.0f MB/s), %d workers | - |\n", title,
                   static_cast<long long>(names.length()), s, mb / s, p, mb / p, cores);
        else
            printf("| %ls, %lld entries | %.3f s (%.0f MB/s) | %.3f s (%.0f MB/s) | %.3f s (%.0f MB/s), %d workers | %.2f |\n",
                   title, static_cast<long long>(names.length()), o, mb / o, s, mb / s, p, mb / p, cores, p / o);
        ReleaseArchive();
    } catch (const Error& e) {
        fprintf(stderr, "lumivo-pipeline-bench: error %d %ls\n", e.code, e.text ? e.text : L"");
        return 1;
    }
    return 0;
}
