#include "packer/SetupWriter.h"

#include "archive/ArchiveFormat.h"
#include "packer/AtomicFile.h"
#include "packer/PackError.h"
#include "packer/SetupImage.h"

#include <cstdio>
#include <string>

namespace fs = std::filesystem;

uint64_t ArchiveLength(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries)
{
    uint64_t length = RecordHeaderSize; // the end record
    for (size_t i = 0; i < files.size(); i++)
        length += RecordHeaderSize + 2 * files[i].units.size() + entries[i].data.size();
    return length;
}

OutputBytes ArchiveBytes(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries)
{
    OutputBytes archive;
    for (size_t i = 0; i < files.size(); i++) {
        const PackedEntry& entry = entries[i];
        std::vector<uint8_t> head(RecordHeaderSize + 2 * files[i].units.size());
        WriteRecordHeader(head.data(), entry.kind, static_cast<int32_t>(entry.data.size()), entry.size, entry.crc,
                          files[i].time, static_cast<int32_t>(files[i].units.size()));
        for (size_t u = 0; u < files[i].units.size(); u++) {
            head[RecordHeaderSize + 2 * u] = static_cast<uint8_t>(files[i].units[u] & 0xFF);
            head[RecordHeaderSize + 2 * u + 1] = static_cast<uint8_t>(files[i].units[u] >> 8);
        }
        archive.own(std::move(head));
        archive.borrow(entry.data.data(), entry.data.size());
    }
    std::vector<uint8_t> end(RecordHeaderSize);
    WriteEndRecord(end.data());
    archive.own(std::move(end));
    return archive;
}

void CheckArchiveFits(const fs::path& output, uint64_t stubSize, uint64_t archiveLength)
{
    if (archiveLength > static_cast<uint64_t>(MaxEntrySize) || stubSize + archiveLength > 0xFFFFFFFFull)
        Refuse("the archive for \"" + output.string() + "\" would take " + std::to_string(archiveLength) +
               " bytes behind a stub of " + std::to_string(stubSize) +
               "; it must stay below 2 GiB and end within 4 GiB of the file's start");
}

static RebuiltImage Rebuild(const fs::path& output, const SetupParts& parts)
{
    try {
        return RebuildImage(*parts.stub, ReadPeLayout(parts.stub->data(), parts.stub->size()), parts.resources,
                            parts.timeDateStamp);
    } catch (const PeFormatError& error) {
        Refuse("cannot build \"" + output.string() + "\": " + error.message);
    }
}

static void WriteFile(const fs::path& output, const OutputBytes& bytes)
{
    AtomicFile out(output);
    for (const BytePiece& piece : bytes.pieces)
        out.write(piece.data, piece.size);
    out.commit();
}

static bool IsArchiveResource(const ResourceItem& item)
{
    return item.type.isId(ResourceTypeRcData) && item.name.isId(ArchiveResourceId);
}

// The setup program's image with the archive (which must outlive it) in resource 103, or appended
// behind the image when the image would be too large to load (said on stderr unless quiet).
static RebuiltImage ComposeSetup(const fs::path& output, SetupParts& parts, const OutputBytes& archive,
                                 bool quiet, bool& appended)
{
    uint64_t archiveLength = archive.size;
    CheckArchiveFits(output, 0, archiveLength);
    appended = false;
    if (!parts.appended) {
        std::vector<ResourceItem> stubs;
        for (ResourceItem& item : parts.resources)
            if (!IsArchiveResource(item))
                stubs.push_back(std::move(item));
        parts.resources = std::move(stubs);
        ResourceItem resource;
        resource.type.id = ResourceTypeRcData;
        resource.name.id = ArchiveResourceId;
        resource.data.borrowAll(archive);
        parts.resources.push_back(std::move(resource));
        RebuiltImage image = Rebuild(output, parts);
        if (image.sizeOfImage < parts.imageLimit)
            return image;
        if (!quiet)
            std::fprintf(
                stderr,
                "lumivo-pack: an archive of %llu bytes makes an image of %llu bytes or more, which Windows "
                "does not load: appending it behind the image instead\n",
                static_cast<unsigned long long>(archiveLength),
                static_cast<unsigned long long>(parts.imageLimit));
        parts.resources.pop_back();
    }

    appended = true;
    RebuiltImage image = Rebuild(output, parts);
    // The trailer ends on an 8-byte boundary, where a signature's certificate table begins without
    // padding between them.
    uint64_t end = image.bytes.size + archiveLength + TrailerSize;
    image.bytes.zeros(static_cast<size_t>(AlignUp(end, 8) - end));
    uint64_t offset = image.bytes.size;
    CheckArchiveFits(output, offset, archiveLength);
    image.bytes.borrowAll(archive);
    ArchiveTrailer trailer = {TrailerMagic, static_cast<uint32_t>(offset), static_cast<uint32_t>(archiveLength),
                              static_cast<uint32_t>(offset + archiveLength)};
    std::vector<uint8_t> trailerBytes(TrailerSize);
    WriteTrailer(trailerBytes.data(), trailer);
    image.bytes.own(std::move(trailerBytes));
    return image;
}

bool WriteSetup(const fs::path& output, SetupParts& parts, const std::vector<PayloadFile>& files,
                const std::vector<PackedEntry>& entries)
{
    CheckArchiveFits(output, 0, ArchiveLength(files, entries));
    OutputBytes archive = ArchiveBytes(files, entries);
    bool appended;
    RebuiltImage image = ComposeSetup(output, parts, archive, false, appended);
    StampChecksum(image);
    WriteFile(output, image.bytes);
    return appended;
}

uint64_t SetupSize(const fs::path& output, SetupParts& parts, uint64_t archiveLength)
{
    CheckArchiveFits(output, 0, archiveLength);
    OutputBytes archive;
    archive.zeros(static_cast<size_t>(archiveLength));
    bool appended;
    return ComposeSetup(output, parts, archive, true, appended).bytes.size;
}
