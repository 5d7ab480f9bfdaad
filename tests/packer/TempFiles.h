// Files for the packer's tests: a temporary folder removed at the end, whole-file reads and writes.
#ifndef LUMIVO_TESTS_TEMPFILES_H
#define LUMIVO_TESTS_TEMPFILES_H

#include <stdint.h>
#include <string>
#include <vector>

// The bytes of a file and back.
std::vector<uint8_t> Load(const std::string& path);
void Save(const std::string& path, const std::vector<uint8_t>& bytes);
void Save(const std::string& path, const std::string& bytes);
// Writes a file, creating its folders.
void Put(const std::string& path, const std::string& bytes);

// What lumivo-pack did: its exit status, and its stdout and stderr together.
struct Outcome {
    int status;
    std::string output;
};
// Runs lumivo-pack with the arguments (a shell command line).
Outcome Pack(const std::string& arguments);
bool Has(const Outcome& outcome, const std::string& text);

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

#endif
