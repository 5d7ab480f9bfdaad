#include "archive/ByteSource.h"

static bool NextOfMemory(void* context, const uint8_t** bytes, int64_t* count)
{
    MemorySource& memory = *static_cast<MemorySource*>(context);
    if (memory.given)
        return false;
    memory.given = true;
    *bytes = memory.bytes;
    *count = memory.count;
    return true;
}

static void RewindMemory(void* context)
{
    static_cast<MemorySource*>(context)->given = false;
}

ByteSource SourceOf(MemorySource& memory)
{
    memory.given = false;
    return ByteSource{NextOfMemory, RewindMemory, &memory};
}
