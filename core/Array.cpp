#include "core/Array.h"

#include <stdlib.h>

ArrayGrowth ComputeArrayGrowth(int64_t needed, int64_t elementSize, bool inlineStorage, int divisor)
{
    const int64_t overhead = inlineStorage ? 48 : 16;
    if (needed < 0 || needed > (INT64_MAX / 4 - overhead) / elementSize)
        throw MemoryError();
    int64_t bytes = needed * elementSize + overhead;
    int64_t step = 16;
    if (bytes > 16)
        while (step <= bytes / divisor)
            step *= 2;
    int64_t rounded = (bytes + step - 1) / step * step;
    // The 16 bytes taken off leave room for the heap's own block header.
    return ArrayGrowth{(rounded - overhead) / elementSize, rounded - 16};
}

void* AllocateZeroed(int64_t bytes)
{
    void* block = calloc(1, static_cast<size_t>(bytes));
    if (!block)
        throw MemoryError();
    return block;
}

void* AllocateBlock(int64_t bytes)
{
    void* block = malloc(static_cast<size_t>(bytes));
    if (!block)
        throw MemoryError();
    return block;
}

void FreeBlock(void* block)
{
    free(block);
}

void CharBuffer::reserveZeros(int64_t count)
{
    int64_t at = length();
    insertUninitialized(at, count, 128);
    if (count > 0)
        memset(items() + at, 0, static_cast<size_t>(count) * sizeof(wchar_t));
}
