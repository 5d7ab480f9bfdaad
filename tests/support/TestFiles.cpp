#include "support/TestFiles.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <stdio.h>

#include <stdexcept>

ScratchDir::ScratchDir()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned serial = 0;
    for (;;) {
        root = std::wstring(temp) + L"lumivo-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++serial) + L"\\";
        if (CreateDirectoryW(root.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create a scratch folder");
    }
}

ScratchDir::~ScratchDir()
{
    RemoveTree(root.substr(0, root.size() - 1));
}

std::wstring ScratchDir::path(const std::wstring& name) const
{
    return root + name;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create a test file");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (written != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

std::string ReadWholeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open a file");
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

static void ListBelow(const std::wstring& root, const std::wstring& relative,
                      std::vector<std::wstring>& names)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            names.push_back(relative + name + L"\\");
            ListBelow(root, relative + name + L"\\", names);
        } else {
            names.push_back(relative + name);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

std::vector<std::wstring> FolderContents(const std::wstring& path)
{
    std::vector<std::wstring> names;
    ListBelow(path, L"", names);
    std::sort(names.begin(), names.end());
    return names;
}

std::string TreeState(const std::wstring& path)
{
    std::string state;
    for (const std::wstring& name : FolderContents(path)) {
        std::wstring full = path + L"\\" + name;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data);
        char line[96];
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            snprintf(line, sizeof line, " attributes %lx\n",
                     static_cast<unsigned long>(data.dwFileAttributes));
        } else {
            uint64_t hash = 14695981039346656037ull;
            for (unsigned char c : ReadWholeFile(full))
                hash = (hash ^ c) * 1099511628211ull;
            snprintf(line, sizeof line, " attributes %lx time %08lx%08lx hash %016llx\n",
                     static_cast<unsigned long>(data.dwFileAttributes),
                     static_cast<unsigned long>(data.ftLastWriteTime.dwHighDateTime),
                     static_cast<unsigned long>(data.ftLastWriteTime.dwLowDateTime),
                     static_cast<unsigned long long>(hash));
        }
        state += std::string(name.begin(), name.end()) + line;
    }
    return state;
}

void LetEveryoneChange(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        throw std::runtime_error("cannot build an access list");
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    DWORD result = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                         DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    if (result != ERROR_SUCCESS)
        throw std::runtime_error("cannot change an access list");
}
