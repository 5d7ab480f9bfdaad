// The owner of a movable global memory block (the clipboard takes such blocks).
#ifndef LUMIVO_CORE_GLOBALBLOCK_H
#define LUMIVO_CORE_GLOBALBLOCK_H

#include <stdint.h>

class GlobalBlock {
public:
    GlobalBlock() : handle(nullptr), locked(nullptr) {}
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    ~GlobalBlock() { destroy(); }

    // A new block of bytes (GMEM_MOVEABLE | GMEM_DDESHARE); a block held before is freed.
    void allocate(int64_t bytes);
    // Locks the block (InternalError when it is already locked) and returns its memory.
    void* lock();
    void unlock();
    // Gives the block away (to SetClipboardData): unlocked and no longer owned.
    void* detach();
    void destroy();

    void* handle;
    void* locked;
};

#endif
