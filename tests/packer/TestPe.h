// Small PE images for the packer's tests: a 64-bit image with one resource section, optionally
// holding an RCDATA resource 103.
#ifndef LUMIVO_TESTS_TESTPE_H
#define LUMIVO_TESTS_TESTPE_H

#include <stdint.h>
#include <string>
#include <vector>

// A valid image header with a resource directory; with resource103 the directory holds it as
// RCDATA 103 (language 1033), else an RCDATA resource 104.
std::vector<uint8_t> MinimalPe(const std::string* resource103 = nullptr);

// The bytes of a file and back.
std::vector<uint8_t> Load(const std::string& path);
void Save(const std::string& path, const std::vector<uint8_t>& bytes);
void Save(const std::string& path, const std::string& bytes);

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name = "") const { return root + (name.empty() ? "" : "/" + name); }

private:
    std::string root;
};

// Writes a file, creating its folders.
void Put(const std::string& path, const std::string& bytes);

#endif
