// Solid blocks for the packer's commands: a cursor whose memory comes from the C heap and is
// released on every path.
#ifndef LUMIVO_PACKER_SOLIDREADER_H
#define LUMIVO_PACKER_SOLIDREADER_H

#include "archive/SolidBlock.h"

#include <memory>
#include <string>

class SolidReader {
public:
    // Opens the block of record (which must outlive the reader, as must code, the setup program's,
    // for a block of kind 8); opened() tells how it went.
    SolidReader(const ArchiveEntry& record, SolidUse use, const ProgramCode& code);
    ~SolidReader();
    SolidReader(const SolidReader&) = delete;
    SolidReader& operator=(const SolidReader&) = delete;

    SolidOpen opened() const { return result; }
    SolidCursor& cursor() { return *state; }
    const SolidDirectory& directory() const { return state->directory; }

private:
    std::unique_ptr<SolidCursor> state; // about 30 KB of LZMA tables
    SolidOpen result;
};

std::u16string SolidNameText(const SolidName& name);

// Why the file that a cursor just gave up on is damaged, for a message.
const char* SolidDamage(const SolidCursor& cursor);

#endif
