#include "packer/SolidReader.h"

#include <cstdlib>

static void* Allocate(void*, int64_t bytes)
{
    return std::malloc(static_cast<size_t>(bytes));
}

static void Release(void*, void* block)
{
    std::free(block);
}

SolidReader::SolidReader(const ArchiveEntry& record, SolidUse use, const ProgramCode& code) : state(new SolidCursor())
{
    SolidMemory memory = {Allocate, Release, nullptr};
    result = OpenSolidBlock(*state, record, memory, use, code);
}

SolidReader::~SolidReader()
{
    CloseSolidBlock(*state);
}

std::u16string SolidNameText(const SolidName& name)
{
    std::u16string text;
    for (int32_t i = 0; i < name.nameLength; i++)
        text += static_cast<char16_t>(SolidNameUnit(name, i));
    return text;
}

const char* SolidDamage(const SolidCursor& cursor)
{
    return cursor.broken ? "its solid block's stream breaks off in it or before it"
                         : "its bytes do not match their CRC-32, or its solid block does not end where it should";
}
