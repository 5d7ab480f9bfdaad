#include "packer/AtomicFile.h"

#include "packer/FileTime.h"
#include "packer/PackError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::AtomicFile(const std::filesystem::path& path) : path(path)
{
    for (int attempt = 0; handle < 0; attempt++) {
        // A short name of its own: the path's name and a suffix could pass the 255 bytes a name
        // may have, where the path's name alone fits.
        temporary = path.parent_path() / (".lumivo-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp");
        handle = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle < 0 && (errno != EEXIST || attempt > 100))
            Fail("cannot write \"" + path.string() + "\": " + strerror(errno));
    }
    buffer.reserve(1 << 20);
}

AtomicFile::~AtomicFile()
{
    if (handle >= 0)
        close(handle);
    if (!committed)
        unlink(temporary.c_str());
}

void AtomicFile::write(const void* data, size_t size)
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

void AtomicFile::flush()
{
    writeThrough(buffer.data(), buffer.size());
    buffer.clear();
}

void AtomicFile::writeThrough(const uint8_t* bytes, size_t size)
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

void AtomicFile::commit(std::optional<uint64_t> fileTime)
{
    flush();
    if (fileTime && !error) {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT; // the access time stays
        times[1] = UnixOfFileTime(*fileTime);
        if (futimens(handle, times) != 0)
            error = errno;
    }
    if (!error && fsync(handle) != 0)
        error = errno;
    if (close(handle) != 0 && !error)
        error = errno;
    handle = -1;
    if (!error && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error)
        Fail("cannot write \"" + path.string() + "\": " + strerror(error));
    committed = true;
}
