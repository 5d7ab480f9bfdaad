// A file that appears whole or not at all: written under a temporary name beside its path and
// renamed over it only when complete, so that a failure never leaves a half-written file and an
// earlier file of that name stays as it was.
#ifndef LUMIVO_PACKER_ATOMICFILE_H
#define LUMIVO_PACKER_ATOMICFILE_H

#include <filesystem>
#include <optional>
#include <stdint.h>
#include <vector>

class AtomicFile {
public:
    // Creates the temporary file (Fail when it cannot).
    explicit AtomicFile(const std::filesystem::path& path);
    // Removes the temporary file unless commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Buffered; the first failure is kept and reported by commit.
    void write(const void* data, size_t size);
    // Flushes, stamps the modification time (a FILETIME) when given, syncs and renames the file
    // into place; Fail naming the path on any failure.
    void commit(std::optional<uint64_t> fileTime = std::nullopt);

private:
    void flush();
    void writeThrough(const uint8_t* bytes, size_t size);

    std::filesystem::path path, temporary;
    int handle = -1;
    int error = 0;
    bool committed = false;
    std::vector<uint8_t> buffer;
};

#endif
