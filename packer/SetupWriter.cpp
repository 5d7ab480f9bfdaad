#include "packer/SetupWriter.h"

#include "archive/ArchiveFormat.h"
#include "packer/PackError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

uint64_t ArchiveLength(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries)
{
    uint64_t length = RecordHeaderSize; // the end record
    for (size_t i = 0; i < files.size(); i++)
        length += RecordHeaderSize + 2 * files[i].units.size() + entries[i].data.size();
    return length;
}

void CheckArchiveFits(const fs::path& output, uint64_t stubSize, uint64_t archiveLength)
{
    if (archiveLength > static_cast<uint64_t>(MaxEntrySize) || stubSize + archiveLength > 0xFFFFFFFFull)
        Refuse("the archive for \"" + output.string() + "\" would take " + std::to_string(archiveLength) +
               " bytes behind a stub of " + std::to_string(stubSize) +
               "; it must stay below 2 GiB and end within 4 GiB of the file's start");
}

namespace {

// Buffered writes to a file descriptor; the first failure is kept and later writes do nothing.
class OutputFile {
public:
    explicit OutputFile(int handle) : handle(handle) { buffer.reserve(1 << 20); }

    void write(const void* data, size_t size)
    {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        if (size >= buffer.capacity()) {
            flush();
            writeThrough(bytes, size);
            return;
        }
        if (buffer.size() + size > buffer.capacity())
            flush();
        buffer.insert(buffer.end(), bytes, bytes + size);
    }

    void flush()
    {
        writeThrough(buffer.data(), buffer.size());
        buffer.clear();
    }

    int error = 0;

private:
    void writeThrough(const uint8_t* bytes, size_t size)
    {
        while (size > 0 && !error) {
            ssize_t done = ::write(handle, bytes, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                error = done < 0 ? errno : ENOSPC;
                return;
            }
            bytes += done;
            size -= static_cast<size_t>(done);
        }
    }

    int handle;
    std::vector<uint8_t> buffer;
};

} // namespace

void WriteSetup(const fs::path& output, const std::vector<uint8_t>& stub, const std::vector<PayloadFile>& files,
                const std::vector<PackedEntry>& entries)
{
    uint64_t archiveLength = ArchiveLength(files, entries);
    CheckArchiveFits(output, stub.size(), archiveLength);

    fs::path temporary;
    int handle = -1;
    for (int attempt = 0; handle < 0; attempt++) {
        temporary = output;
        temporary += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        handle = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle < 0 && (errno != EEXIST || attempt > 100))
            Fail("cannot create \"" + temporary.string() + "\": " + strerror(errno));
    }

    OutputFile out(handle);
    out.write(stub.data(), stub.size());
    for (size_t i = 0; i < files.size(); i++) {
        const PackedEntry& entry = entries[i];
        uint8_t header[RecordHeaderSize];
        WriteRecordHeader(header, entry.kind, static_cast<int32_t>(entry.data.size()), entry.size, entry.crc,
                          files[i].time, static_cast<int32_t>(files[i].units.size()));
        out.write(header, sizeof header);
        std::vector<uint8_t> name;
        for (char16_t unit : files[i].units) {
            name.push_back(static_cast<uint8_t>(unit & 0xFF));
            name.push_back(static_cast<uint8_t>(unit >> 8));
        }
        out.write(name.data(), name.size());
        out.write(entry.data.data(), entry.data.size());
    }
    uint8_t end[RecordHeaderSize];
    WriteEndRecord(end);
    out.write(end, sizeof end);
    ArchiveTrailer trailer = {TrailerMagic, static_cast<uint32_t>(stub.size()), static_cast<uint32_t>(archiveLength),
                              static_cast<uint32_t>(stub.size() + archiveLength)};
    uint8_t trailerBytes[TrailerSize];
    WriteTrailer(trailerBytes, trailer);
    out.write(trailerBytes, sizeof trailerBytes);
    out.flush();

    int error = out.error;
    if (!error && fsync(handle) != 0)
        error = errno;
    if (close(handle) != 0 && !error)
        error = errno;
    if (!error && rename(temporary.c_str(), output.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(temporary.c_str());
        Fail("cannot write \"" + output.string() + "\": " + strerror(error));
    }
}
