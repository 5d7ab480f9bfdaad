#include "installer/LinkReader.h"

#include "core/Owned.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

LinkInfo ReadLink(const std::wstring& linkFile)
{
    LinkInfo info;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receiveVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.receiveVoid())) ||
        FAILED(file->Load(linkFile.c_str(), STGM_READ)))
        return info;
    wchar_t text[MAX_PATH * 2];
    if (SUCCEEDED(link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH)))
        info.path = text;
    if (SUCCEEDED(link->GetDescription(text, MAX_PATH * 2)))
        info.description = text;
    int index = -1;
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH * 2, &index))) {
        info.iconPath = text;
        info.iconIndex = index;
    }
    link->GetShowCmd(&info.showCommand);
    HANDLE raw = CreateFileW(linkFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (raw != INVALID_HANDLE_VALUE) {
        BYTE header[76];
        DWORD got = 0;
        if (ReadFile(raw, header, sizeof header, &got, nullptr) && got == sizeof header)
            info.savedShowCommand = *reinterpret_cast<const int32_t*>(header + 60);
        CloseHandle(raw);
    }
    info.loaded = true;
    return info;
}
