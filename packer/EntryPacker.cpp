#include "packer/EntryPacker.h"

#include "archive/ArchiveFormat.h"
#include "packer/LzmaEncoder.h"
#include "packer/PackError.h"
#include "packer/Progress.h"
#include "packer/SlicedDeflate.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <libdeflate.h>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <unistd.h>

namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
typedef std::unique_ptr<libdeflate_compressor, CompressorDeleter> Compressor;

Compressor NewCompressor(int level)
{
    Compressor compressor(libdeflate_alloc_compressor(level));
    if (!compressor)
        Refuse("cannot compress at level " + std::to_string(level));
    return compressor;
}

// A compressor for each worker: libdeflate's is made once, liblzma makes its own for each file.
Compressor NewCompressor(int level, EntryCodec codec)
{
    return codec == EntryCodec::Deflate ? NewCompressor(level) : Compressor();
}

// The entry of a file from its stream, stored raw when the stream is no smaller than the file
// (a packed size equal to the size would be read as raw).
PackedEntry EntryOf(std::vector<uint8_t> stream, uint32_t kind, const uint8_t* bytes, size_t size)
{
    PackedEntry entry;
    entry.kind = kind;
    entry.size = static_cast<int32_t>(size);
    entry.data = std::move(stream);
    if (entry.data.empty() || entry.data.size() >= size)
        entry.data.assign(bytes, bytes + size);
    entry.data.shrink_to_fit();
    entry.crc = Crc32(entry.data.data(), static_cast<int64_t>(entry.data.size()));
    return entry;
}

PackedEntry Pack(libdeflate_compressor* compressor, EntryCodec codec, const uint8_t* bytes, size_t size)
{
    std::vector<uint8_t> stream;
    // Room for one byte less than the file: a stream that does not fit is no gain.
    if (size > 1 && codec == EntryCodec::Lzma) {
        LzmaEncode(bytes, size, size - 1, stream);
    } else if (size > SliceFilesAbove) {
        stream = DeflateSliced(compressor, bytes, size, DeflateSliceSize);
    } else if (size > 1) {
        stream.resize(size - 1);
        stream.resize(libdeflate_zlib_compress(compressor, bytes, size, stream.data(), size - 1));
    }
    return EntryOf(std::move(stream), codec == EntryCodec::Lzma ? EntryKindLzma : EntryKindZlib, bytes, size);
}

struct Descriptor {
    int fd;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

// Reads up to size bytes, fewer only at the file's end.
size_t ReadUpTo(int fd, uint8_t* out, size_t size, const std::string& shown)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, out + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Refuse("cannot read " + shown + ": " + strerror(errno));
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

// Exactly the file that was listed: the same regular file (not a link put in its place), of the
// listed size, read whole. A file that changed since it was listed is refused rather than packed
// cut short or with bytes the listing never saw.
std::vector<uint8_t> ReadFile(const PayloadFile& file)
{
    std::string shown = "\"" + file.source.string() + "\"";
    Descriptor handle(open(file.source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (handle.fd < 0)
        Refuse("cannot read " + shown + ": " + strerror(errno));
    struct stat info;
    if (fstat(handle.fd, &info) != 0)
        Refuse("cannot read " + shown + ": " + strerror(errno));
    if (!S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_dev) != file.device ||
        static_cast<uint64_t>(info.st_ino) != file.inode)
        Refuse(shown + " was replaced by another file while it was packed");
    if (static_cast<uint64_t>(info.st_size) != file.size)
        Refuse(shown + " changed while it was packed: listed with " + std::to_string(file.size) +
               " bytes, now " + std::to_string(info.st_size));
    std::vector<uint8_t> bytes(file.size + 1); // one byte more shows a file that grows while it is read
    size_t done = ReadUpTo(handle.fd, bytes.data(), bytes.size(), shown);
    if (done != file.size)
        Refuse(shown + " " + (done < file.size ? "shrank" : "grew") + " while it was packed: listed with " +
               std::to_string(file.size) + " bytes");
    bytes.resize(done);
    return bytes;
}

} // namespace

std::vector<uint8_t> ReadPayloadFile(const PayloadFile& file)
{
    return ReadFile(file);
}

int DeflateLevelFor(int level, uint64_t size)
{
    if (level != LevelBySize)
        return level;
    return size > SliceFilesAbove ? 10 : size >= 64 * 1024 ? 12 : 9;
}

bool LooksIncompressible(const uint8_t* bytes, size_t size)
{
    if (size < 64 * 1024)
        return false;
    uint64_t counts[256] = {};
    for (size_t i = 0; i < size; i++)
        counts[bytes[i]]++;
    // Bits per byte of the byte frequencies alone; 1 MiB of noise gives 7.9998, programs 5 to 7.
    double entropy = 0, total = static_cast<double>(size);
    for (uint64_t count : counts)
        if (count)
            entropy -= static_cast<double>(count) * std::log2(static_cast<double>(count) / total);
    return entropy / total >= 7.98;
}

bool FileLooksIncompressible(const PayloadFile& file)
{
    const size_t slice = 1 << 20;
    if (file.size < slice)
        return false;
    std::string shown = "\"" + file.source.string() + "\"";
    Descriptor handle(open(file.source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (handle.fd < 0)
        Refuse("cannot read " + shown + ": " + strerror(errno));
    std::vector<uint8_t> bytes(slice);
    for (;;) {
        size_t done = ReadUpTo(handle.fd, bytes.data(), slice, shown);
        // A last slice too short to judge leaves the decision to the ones before it.
        if (done < 64 * 1024)
            return true;
        if (!LooksIncompressible(bytes.data(), done))
            return false;
        if (done < slice)
            return true;
    }
}

int DeflateLevelForBytes(int level, const uint8_t* bytes, size_t size, uint64_t fileSize)
{
    if (level == LevelBySize && LooksIncompressible(bytes, size))
        return 1;
    return DeflateLevelFor(level, fileSize);
}

PackedEntry StoredEntry(const uint8_t* bytes, size_t size, EntryCodec codec)
{
    return EntryOf({}, codec == EntryCodec::Lzma ? EntryKindLzma : EntryKindZlib, bytes, size);
}

PackedEntry PackBytes(const uint8_t* bytes, size_t size, int level, EntryCodec codec)
{
    Compressor compressor = NewCompressor(DeflateLevelFor(level, size), codec);
    return Pack(compressor.get(), codec, bytes, size);
}

namespace {

// A file of the build while its slices are compressed: read once, by the first thread that takes
// one of its slices; the thread that finishes its last slice joins them.
struct SlicedFile {
    std::mutex reading;
    bool read = false;
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint8_t>> slices;
    std::atomic<size_t> left{0};
};

// A worker's compressor of a level, made when first needed.
libdeflate_compressor* CompressorOf(Compressor (&compressors)[13], int level)
{
    if (!compressors[level])
        compressors[level] = NewCompressor(level);
    return compressors[level].get();
}

// One piece of work: a whole file, or one slice of a large one.
struct PackTask {
    size_t file;
    size_t slice; // Whole for a whole file
};
const size_t Whole = static_cast<size_t>(-1);

} // namespace

std::vector<PackedEntry> PackFiles(const std::vector<PayloadFile>& files, int level, int jobs,
                                   Progress& progress, EntryCodec codec, const EntryChooser& choose)
{
    std::vector<PackedEntry> entries(files.size());
    // Largest first, so that no big file starts last while the other threads are idle; a large
    // file's slices one after another, so that few large files are in memory at once.
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return files[a].size > files[b].size; });
    std::vector<SlicedFile> sliced(files.size());
    std::vector<PackTask> tasks;
    for (size_t index : order) {
        bool slices = codec == EntryCodec::Deflate && files[index].size > SliceFilesAbove;
        if (!slices) {
            tasks.push_back({index, Whole});
            continue;
        }
        size_t count = SliceCount(files[index].size, DeflateSliceSize);
        sliced[index].slices.resize(count);
        sliced[index].left = count;
        for (size_t i = 0; i < count; i++)
            tasks.push_back({index, i});
    }

    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable changed;
    size_t running = 0;
    std::exception_ptr failure;
    size_t failedIndex = files.size();

    // One slice of a large file; the last one done makes the entry.
    auto packSlice = [&](Compressor (&compressors)[13], size_t index, size_t slice) {
        SlicedFile& file = sliced[index];
        {
            std::lock_guard<std::mutex> guard(file.reading);
            if (!file.read)
                file.bytes = ReadFile(files[index]);
            file.read = true;
        }
        size_t start = slice * DeflateSliceSize;
        size_t length = std::min<size_t>(DeflateSliceSize, file.bytes.size() - start);
        const uint8_t* bytes = file.bytes.data() + start;
        libdeflate_compressor* compressor =
            CompressorOf(compressors, DeflateLevelForBytes(level, bytes, length, file.bytes.size()));
        file.slices[slice] = DeflateSlice(compressor, bytes, length, slice + 1 == file.slices.size());
        if (--file.left > 0)
            return;
        entries[index] = EntryOf(JoinSlices(file.slices, file.bytes.data(), file.bytes.size()), EntryKindZlib,
                                 file.bytes.data(), file.bytes.size());
        if (choose)
            entries[index] = choose(index, file.bytes, std::move(entries[index]));
        progress.fileDone(file.bytes.size());
        std::vector<uint8_t>().swap(file.bytes);
        std::vector<std::vector<uint8_t>>().swap(file.slices);
    };

    auto work = [&] {
        try {
            // One compressor of each level in use for each worker, made when first needed.
            Compressor compressors[13];
            for (size_t i; !stop && (i = next++) < tasks.size();) {
                size_t index = tasks[i].file;
                try {
                    if (tasks[i].slice != Whole) {
                        packSlice(compressors, index, tasks[i].slice);
                        continue;
                    }
                    std::vector<uint8_t> bytes = ReadFile(files[index]);
                    libdeflate_compressor* compressor =
                        codec == EntryCodec::Deflate
                            ? CompressorOf(compressors, DeflateLevelForBytes(level, bytes.data(), bytes.size(), bytes.size()))
                            : nullptr;
                    entries[index] = Pack(compressor, codec, bytes.data(), bytes.size());
                    if (choose)
                        entries[index] = choose(index, bytes, std::move(entries[index]));
                    progress.fileDone(bytes.size());
                } catch (...) {
                    // Of several failures, report the one of the first file in archive order.
                    std::lock_guard<std::mutex> guard(lock);
                    if (index < failedIndex) {
                        failedIndex = index;
                        failure = std::current_exception();
                    }
                    stop = true;
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> guard(lock);
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
        std::lock_guard<std::mutex> guard(lock);
        running--;
        changed.notify_all();
    };

    size_t threads = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), tasks.size()));
    std::vector<std::thread> workers;
    running = threads;
    for (size_t t = 0; t < threads; t++)
        workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> guard(lock);
        while (running > 0) {
            changed.wait_for(guard, std::chrono::milliseconds(100));
            progress.show();
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
    progress.finish();
    return entries;
}
