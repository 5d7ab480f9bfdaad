#include "core/GlobalBlock.h"

#include "core/Error.h"

#include <windows.h>

void GlobalBlock::allocate(int64_t bytes)
{
    if (bytes < 0 || static_cast<uint64_t>(bytes) > SIZE_MAX)
        throw MemoryError();
    HGLOBAL fresh = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, static_cast<SIZE_T>(bytes));
    if (!fresh)
        ThrowLastError(nullptr, L"GlobalAlloc");
    destroy();
    handle = fresh;
}

void* GlobalBlock::lock()
{
    if (!handle || locked)
        throw InternalError();
    void* memory = GlobalLock(handle);
    if (!memory)
        ThrowLastError(nullptr, L"GlobalLock");
    locked = memory;
    return memory;
}

void GlobalBlock::unlock()
{
    if (handle && locked)
        GlobalUnlock(handle);
    locked = nullptr;
}

void* GlobalBlock::detach()
{
    unlock();
    void* given = handle;
    handle = nullptr;
    return given;
}

void GlobalBlock::destroy()
{
    if (!handle)
        return;
    unlock();
    GlobalFree(handle);
    handle = nullptr;
}
