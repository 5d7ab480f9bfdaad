#include "archive/SolidBlock.h"

#include <string.h>

namespace {

// Where the columns of a directory of fileCount files and nameCount names begin.
struct Columns {
    int64_t sizes, crcs, nameCounts, times, attributes, nameLengths, names;
};

Columns ColumnsOf(int64_t fileCount, int64_t nameCount)
{
    Columns c;
    c.sizes = SolidDirectoryHeadSize;
    c.crcs = c.sizes + 4 * fileCount;
    c.nameCounts = c.crcs + 4 * fileCount;
    c.times = c.nameCounts + 4 * fileCount;
    c.attributes = c.times + 8 * nameCount;
    c.nameLengths = c.attributes + 4 * nameCount;
    c.names = c.nameLengths + 4 * nameCount;
    return c;
}

uint32_t Column32(const SolidDirectory& directory, int64_t column, int32_t index)
{
    return ReadU32(directory.bytes + column + 4 * static_cast<int64_t>(index));
}

SolidFile FileAt(const SolidDirectory& directory, int32_t index, int32_t firstName, const uint8_t* firstUnits,
                 int64_t offset)
{
    Columns c = ColumnsOf(directory.fileCount, directory.nameCount);
    SolidFile file;
    file.index = index;
    file.firstName = firstName;
    file.firstUnits = firstUnits;
    file.offset = offset;
    bool exists = index < directory.fileCount;
    file.size = exists ? static_cast<int32_t>(Column32(directory, c.sizes, index)) : 0;
    file.crc = exists ? Column32(directory, c.crcs, index) : 0;
    file.nameCount = exists ? static_cast<int32_t>(Column32(directory, c.nameCounts, index)) : 0;
    return file;
}

SolidName NameAt(const SolidDirectory& directory, int32_t index, const uint8_t* units)
{
    Columns c = ColumnsOf(directory.fileCount, directory.nameCount);
    SolidName name;
    name.index = index;
    name.name = units;
    bool exists = index < directory.nameCount;
    name.time = exists ? ReadU64(directory.bytes + c.times + 8 * static_cast<int64_t>(index)) : 0;
    name.attributes = exists ? Column32(directory, c.attributes, index) : 0;
    name.nameLength = exists ? static_cast<int32_t>(Column32(directory, c.nameLengths, index)) : 0;
    return name;
}

void* Allocate(const SolidMemory& memory, int64_t bytes)
{
    return memory.allocate(memory.context, bytes > 0 ? bytes : 1);
}

void Release(const SolidMemory& memory, uint8_t*& block)
{
    if (block)
        memory.release(memory.context, block);
    block = nullptr;
}

} // namespace

bool ParseSolidDirectory(const uint8_t* bytes, int64_t length, int64_t blockSize, SolidDirectory& directory)
{
    if (!bytes || length < SolidDirectoryHeadSize || blockSize > MaxEntrySize || length > blockSize)
        return false;
    int64_t declared = ReadU32(bytes), fileCount = ReadU32(bytes + 4), nameCount = ReadU32(bytes + 8);
    if (declared != length || fileCount < 1 || nameCount < fileCount)
        return false;
    Columns c = ColumnsOf(fileCount, nameCount); // 64-bit sums: no count can make them wrap
    if (c.names > length)
        return false;
    directory.bytes = bytes;
    directory.length = static_cast<int32_t>(length);
    directory.fileCount = static_cast<int32_t>(fileCount);
    directory.nameCount = static_cast<int32_t>(nameCount);
    directory.blockSize = static_cast<int32_t>(blockSize);

    int64_t total = length, names = 0;
    for (int32_t i = 0; i < fileCount; i++) {
        int64_t count = Column32(directory, c.nameCounts, i);
        total += Column32(directory, c.sizes, i);
        names += count;
        if (count < 1 || names > nameCount || total > blockSize)
            return false;
    }
    if (names != nameCount || total != blockSize)
        return false;
    int64_t units = 0;
    for (int32_t i = 0; i < nameCount; i++) {
        int64_t nameLength = Column32(directory, c.nameLengths, i);
        units += nameLength;
        if (nameLength < 1 || c.names + 2 * units > length)
            return false;
    }
    return c.names + 2 * units == length;
}

SolidFile SolidFirstFile(const SolidDirectory& directory)
{
    Columns c = ColumnsOf(directory.fileCount, directory.nameCount);
    return FileAt(directory, 0, 0, directory.bytes + c.names, directory.length);
}

SolidFile SolidFileAfter(const SolidDirectory& directory, const SolidFile& file)
{
    SolidName name = SolidFileName(directory, file);
    for (int32_t i = 0; i < file.nameCount; i++)
        name = SolidNameAfter(directory, name);
    return FileAt(directory, file.index + 1, name.index, name.name, file.offset + file.size);
}

SolidName SolidFileName(const SolidDirectory& directory, const SolidFile& file)
{
    return NameAt(directory, file.firstName, file.firstUnits);
}

SolidName SolidNameAfter(const SolidDirectory& directory, const SolidName& name)
{
    return NameAt(directory, name.index + 1, name.name + 2 * static_cast<int64_t>(name.nameLength));
}

uint16_t SolidNameUnit(const SolidName& name, int32_t index)
{
    return static_cast<uint16_t>(name.name[2 * index] | name.name[2 * index + 1] << 8);
}

// The directory alone in a buffer of its own, once a preset is no longer needed in front of it.
static bool KeepDirectoryOnly(SolidCursor& cursor, uint32_t preset)
{
    if (preset == 0)
        return true;
    uint8_t* kept = static_cast<uint8_t*>(Allocate(cursor.memory, cursor.directory.length));
    if (!kept)
        return false;
    memcpy(kept, cursor.directoryBytes + preset, static_cast<size_t>(cursor.directory.length));
    Release(cursor.memory, cursor.directoryBytes);
    cursor.directoryBytes = kept;
    cursor.directory.bytes = kept;
    return true;
}

SolidOpen OpenSolidBlock(SolidCursor& cursor, const ArchiveEntry& record, const SolidMemory& memory, SolidUse use,
                         const ProgramCode& code)
{
    cursor.record = record;
    cursor.memory = memory;
    cursor.directoryBytes = nullptr;
    cursor.window = nullptr;
    cursor.windowSize = 0;
    cursor.file.index = -1;
    cursor.fileFinished = true;
    cursor.fileVerdict = SolidStep::Damaged;
    cursor.broken = false;
    // Declared sizes are weighed against the stored bytes before anything is allocated.
    if (!IsSolidKind(record.kind) || record.packedSize == record.size || !DeclaredSizeIsPlausible(record) ||
        record.size < SolidDirectoryHeadSize)
        return SolidOpen::Damaged;
    // A block of kind 8 is decoded as if the program's code had been decoded just before it: the
    // code is in the window first, and positions count from its first byte.
    uint32_t preset = 0;
    if (record.kind == EntryKindSolidOnProgram) {
        if (!code.bytes || code.length <= 0 || code.length > MaxEntrySize - record.size)
            return SolidOpen::Damaged;
        preset = static_cast<uint32_t>(code.length);
    }

    LzmaStream& lzma = cursor.lzma;
    uint8_t* headWindow = cursor.head;
    if (preset) {
        headWindow = static_cast<uint8_t*>(Allocate(memory, preset + SolidDirectoryHeadSize));
        if (!headWindow)
            return SolidOpen::NoMemory;
        memcpy(headWindow, code.bytes, preset);
    }
    bool started = LzmaStart(lzma, record.data, record.packedSize, static_cast<int32_t>(preset) + record.size,
                             headWindow, preset + SolidDirectoryHeadSize) == LzmaStatus::Running;
    lzma.produced = lzma.windowPos = preset;
    started = started && LzmaDecodeTo(lzma, preset + SolidDirectoryHeadSize) == LzmaStatus::Running;
    if (started && preset)
        memcpy(cursor.head, headWindow + preset, SolidDirectoryHeadSize);
    int64_t length = ReadU32(cursor.head);
    if (!started || length < ColumnsOf(ReadU32(cursor.head + 4), ReadU32(cursor.head + 8)).names ||
        length > record.size) {
        if (preset)
            Release(memory, headWindow);
        return SolidOpen::Damaged;
    }
    cursor.directoryBytes = static_cast<uint8_t*>(Allocate(memory, preset + length));
    if (cursor.directoryBytes)
        LzmaMoveWindow(lzma, cursor.directoryBytes, preset + static_cast<uint32_t>(length));
    if (preset)
        Release(memory, headWindow);
    if (!cursor.directoryBytes)
        return SolidOpen::NoMemory;
    LzmaStatus status = LzmaDecodeTo(lzma, preset + static_cast<uint32_t>(length));
    if (status == LzmaStatus::Failed ||
        !ParseSolidDirectory(cursor.directoryBytes + preset, length, record.size, cursor.directory))
        return SolidOpen::Damaged;
    if (use == SolidUse::Directory || status == LzmaStatus::Done)
        return KeepDirectoryOnly(cursor, preset) ? SolidOpen::Good : SolidOpen::NoMemory;

    uint32_t windowSize = LzmaWindowFor(lzma.dictionary, static_cast<int32_t>(preset) + record.size);
    cursor.window = static_cast<uint8_t*>(Allocate(memory, windowSize));
    if (!cursor.window)
        return SolidOpen::NoMemory;
    cursor.windowSize = windowSize;
    LzmaMoveWindow(lzma, cursor.window, windowSize);
    if (!KeepDirectoryOnly(cursor, preset))
        return SolidOpen::NoMemory;
    return lzma.status == LzmaStatus::Failed ? SolidOpen::Damaged : SolidOpen::Good;
}

void CloseSolidBlock(SolidCursor& cursor)
{
    Release(cursor.memory, cursor.directoryBytes);
    Release(cursor.memory, cursor.window);
}

bool NextSolidFile(SolidCursor& cursor, SolidFile& file)
{
    if (!cursor.directoryBytes || (!cursor.window && cursor.lzma.status != LzmaStatus::Done))
        return false; // opened for the directory only, or not opened
    const uint8_t* data;
    int32_t length;
    while (!cursor.fileFinished)
        NextSolidSlice(cursor, MaxEntrySize, data, length);
    SolidFile next = cursor.file.index < 0 ? SolidFirstFile(cursor.directory)
                                           : SolidFileAfter(cursor.directory, cursor.file);
    if (next.index >= cursor.directory.fileCount)
        return false;
    cursor.file = file = next;
    cursor.fileDone = 0;
    cursor.fileCrc = 0;
    cursor.fileFinished = false;
    return true;
}

static SolidStep Finished(SolidCursor& cursor, SolidStep verdict)
{
    cursor.fileFinished = true;
    cursor.fileVerdict = verdict;
    return verdict;
}

SolidStep NextSolidSlice(SolidCursor& cursor, int32_t maxBytes, const uint8_t*& data, int32_t& length)
{
    data = nullptr;
    length = 0;
    if (cursor.fileFinished)
        return cursor.fileVerdict;
    if (cursor.broken)
        return Finished(cursor, SolidStep::Damaged);
    LzmaStream& lzma = cursor.lzma;
    int32_t remaining = cursor.file.size - cursor.fileDone;
    if (remaining == 0) {
        bool good = cursor.fileCrc == cursor.file.crc;
        // The last file stands for the end of the stream and the stored bytes as a whole.
        if (good && cursor.file.index == cursor.directory.fileCount - 1)
            good = lzma.status == LzmaStatus::Done &&
                   Crc32(cursor.record.data, cursor.record.packedSize) == cursor.record.crc;
        return Finished(cursor, good ? SolidStep::End : SolidStep::Damaged);
    }
    uint32_t room = cursor.windowSize - lzma.windowPos, count = static_cast<uint32_t>(remaining);
    if (maxBytes > 0 && count > static_cast<uint32_t>(maxBytes))
        count = static_cast<uint32_t>(maxBytes);
    if (count > room)
        count = room;
    uint8_t* at = cursor.window + lzma.windowPos;
    if (LzmaDecodeTo(lzma, lzma.produced + count) == LzmaStatus::Failed) {
        cursor.broken = true;
        return Finished(cursor, SolidStep::Damaged);
    }
    cursor.fileCrc = Crc32Update(cursor.fileCrc, at, count);
    cursor.fileDone += static_cast<int32_t>(count);
    data = at;
    length = static_cast<int32_t>(count);
    return SolidStep::Slice;
}
