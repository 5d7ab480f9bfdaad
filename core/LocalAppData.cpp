#include "core/Path.h"

#include "core/Array.h"
#include "core/Error.h"
#include "core/Owned.h"

#include <windows.h>
#include <shlobj.h>

Str LocalAppDataDir()
{
    OwnedCoTaskMemory items;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA,
                                          reinterpret_cast<LPITEMIDLIST*>(items.receive()))))
        throw InternalError();
    CharBuffer buffer;
    buffer.reserveZeros(70000);
    if (!SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(items.get()), buffer.text()))
        throw InternalError();
    return Concat(buffer.text(), L"\\");
}
