#include "packer/SetupWriter.h"

#include "archive/ArchiveFormat.h"
#include "packer/AtomicFile.h"
#include "packer/PackError.h"

#include <string>

namespace fs = std::filesystem;

uint64_t ArchiveLength(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries)
{
    uint64_t length = RecordHeaderSize; // the end record
    for (size_t i = 0; i < files.size(); i++)
        length += RecordHeaderSize + 2 * files[i].units.size() + entries[i].data.size();
    return length;
}

void CheckArchiveFits(const fs::path& output, uint64_t stubSize, uint64_t archiveLength)
{
    if (archiveLength > static_cast<uint64_t>(MaxEntrySize) || stubSize + archiveLength > 0xFFFFFFFFull)
        Refuse("the archive for \"" + output.string() + "\" would take " + std::to_string(archiveLength) +
               " bytes behind a stub of " + std::to_string(stubSize) +
               "; it must stay below 2 GiB and end within 4 GiB of the file's start");
}

void WriteSetup(const fs::path& output, const std::vector<uint8_t>& stub, const std::vector<PayloadFile>& files,
                const std::vector<PackedEntry>& entries)
{
    uint64_t archiveLength = ArchiveLength(files, entries);
    CheckArchiveFits(output, stub.size(), archiveLength);

    AtomicFile out(output);
    out.write(stub.data(), stub.size());
    for (size_t i = 0; i < files.size(); i++) {
        const PackedEntry& entry = entries[i];
        uint8_t header[RecordHeaderSize];
        WriteRecordHeader(header, entry.kind, static_cast<int32_t>(entry.data.size()), entry.size, entry.crc,
                          files[i].time, static_cast<int32_t>(files[i].units.size()));
        out.write(header, sizeof header);
        std::vector<uint8_t> name;
        for (char16_t unit : files[i].units) {
            name.push_back(static_cast<uint8_t>(unit & 0xFF));
            name.push_back(static_cast<uint8_t>(unit >> 8));
        }
        out.write(name.data(), name.size());
        out.write(entry.data.data(), entry.data.size());
    }
    uint8_t end[RecordHeaderSize];
    WriteEndRecord(end);
    out.write(end, sizeof end);
    ArchiveTrailer trailer = {TrailerMagic, static_cast<uint32_t>(stub.size()), static_cast<uint32_t>(archiveLength),
                              static_cast<uint32_t>(stub.size() + archiveLength)};
    uint8_t trailerBytes[TrailerSize];
    WriteTrailer(trailerBytes, trailer);
    out.write(trailerBytes, sizeof trailerBytes);
    out.commit();
}
