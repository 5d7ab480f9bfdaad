// File helpers for tests: a scratch folder removed with everything in it, and whole-file I/O.
#ifndef LUMIVO_TESTS_TESTFILES_H
#define LUMIVO_TESTS_TESTFILES_H

#include <string>

// A fresh folder under the temporary directory; deleted recursively by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The folder's path followed by name (no separator added when name is empty).
    std::wstring path(const std::wstring& name = L"") const;

private:
    std::wstring root;
};

void WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The file's bytes; throws std::runtime_error when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// Removes a file or a folder with everything in it; missing paths are fine.
void RemoveTree(const std::wstring& path);
// Gives Everyone full control of a file or folder, as a standard user could have arranged.
void LetEveryoneChange(const std::wstring& path);

#endif
