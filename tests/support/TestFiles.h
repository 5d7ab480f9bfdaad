// File helpers for tests: a scratch folder removed with everything in it, and whole-file I/O.
#ifndef LUMIVO_TESTS_TESTFILES_H
#define LUMIVO_TESTS_TESTFILES_H

#include <string>
#include <vector>

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
// Every file and folder below path as relative names, sorted (folders end in "\").
std::vector<std::wstring> FolderContents(const std::wstring& path);
// One line for every file and folder below path, sorted: its relative name, its attributes and,
// for a file, its last-write time and a hash of its bytes; what a restored folder must equal.
std::string TreeState(const std::wstring& path);
// Removes a file or a folder with everything in it; missing paths are fine.
void RemoveTree(const std::wstring& path);
// Gives Everyone full control of a file or folder, as a standard user could have arranged.
void LetEveryoneChange(const std::wstring& path);

#endif
