#include "packer/SetupReader.h"

#include "archive/ArchiveFormat.h"
#include "packer/PackError.h"
#include "packer/PeResources.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        Fail("cannot read \"" + path.string() + "\": " + strerror(errno));
    uint8_t chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = std::ferror(file);
    int code = errno;
    std::fclose(file);
    if (failed)
        Fail("cannot read \"" + path.string() + "\": " + strerror(code));
    return bytes;
}

bool FindSetupArchive(SetupArchive& setup)
{
    size_t offset = 0, length = 0;
    if (FindPeResource(setup.file.data(), setup.file.size(), ResourceTypeRcData, ArchiveResourceId, offset,
                       length) &&
        length > 0) {
        if (length > static_cast<size_t>(MaxEntrySize))
            return false;
        setup.offset = offset;
        setup.length = static_cast<int64_t>(length);
        setup.inResource = true;
        return true;
    }
    int64_t appendedOffset = 0, appendedLength = 0;
    if (!FindAppendedArchive(setup.file.data(), static_cast<int64_t>(setup.file.size()), appendedOffset,
                             appendedLength))
        return false;
    setup.offset = static_cast<size_t>(appendedOffset);
    setup.length = appendedLength;
    setup.inResource = false;
    return true;
}

SetupArchive LoadSetupArchive(const std::filesystem::path& path)
{
    SetupArchive setup;
    setup.file = ReadWholeFile(path);
    if (!FindSetupArchive(setup))
        Fail("\"" + path.string() + "\" carries no archive: no resource 103 and no valid trailer");
    return setup;
}

std::vector<uint8_t> ProgramCodeOf(const std::vector<uint8_t>& file)
{
    ProgramImage image = {file.data(), static_cast<int64_t>(file.size()), false};
    std::vector<uint8_t> code(static_cast<size_t>(ProgramCodeLength(image)));
    CopyProgramCode(image, code.data());
    return code;
}

ProgramCode SetupArchive::code() const
{
    if (codeBytes.empty())
        codeBytes = ProgramCodeOf(file);
    return ProgramCode{codeBytes.empty() ? nullptr : codeBytes.data(), static_cast<int32_t>(codeBytes.size())};
}
