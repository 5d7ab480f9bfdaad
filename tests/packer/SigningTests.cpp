#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/ArchiveFormat.h"
#include "packer/PeImage.h"
#include "packer/PeResources.h"
#include "packer/SetupImage.h"
#include "packer/SetupReader.h"
#include "packer/SetupWriter.h"
#include "support/ArchiveBuilder.h"

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace fs = std::filesystem;

// A program with an appended archive, padded and followed by a certificate table that its
// security directory names, as a signing tool leaves it.
static std::string SignedAppended(const std::string& archive, size_t padding, const std::string& table)
{
    std::vector<uint8_t> stub = MinimalPe();
    std::string file = Appended(std::string(stub.begin(), stub.end()), archive) + std::string(padding, '\0');
    size_t directory = MinimalPeHeader + 24 + 112 + 32;
    WriteU32(reinterpret_cast<uint8_t*>(&file[directory]), static_cast<uint32_t>(file.size()));
    WriteU32(reinterpret_cast<uint8_t*>(&file[directory + 4]), static_cast<uint32_t>(table.size()));
    return file + table;
}

static int Run(const std::string& arguments, std::string& output)
{
    FILE* pipe = popen((std::string(LUMIVO_PACK_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    REQUIRE(pipe);
    char chunk[4096];
    size_t got;
    output.clear();
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_SUITE("signing") {

TEST_CASE("the trailer is found just before the certificate table, never inside it")
{
    std::string archive = RawRecord(u"a.txt", "abc") + EndRecord();
    std::string table(24, '\x30'); // a certificate table full of bytes that are no trailer
    // archive + trailer, then 0 to 7 zero bytes up to the 8-byte boundary of the table
    for (size_t padding = 0; padding < 8; padding++) {
        std::string file = SignedAppended(archive, padding, table);
        int64_t offset = 0, length = 0;
        CAPTURE(padding);
        CHECK(CertificateTableStart(Bytes(file), static_cast<int64_t>(file.size())) ==
              static_cast<int64_t>(file.size() - table.size()));
        REQUIRE(FindAppendedArchive(Bytes(file), static_cast<int64_t>(file.size()), offset, length));
        CHECK(file.substr(static_cast<size_t>(offset), static_cast<size_t>(length)) == archive);
    }
    int64_t offset = 0, length = 0;
    // padding that is not zero, or more than 7 bytes of it, is no signing tool's
    std::string eight = SignedAppended(archive, 8, table);
    CHECK_FALSE(FindAppendedArchive(Bytes(eight), static_cast<int64_t>(eight.size()), offset, length));
    std::string dirty = SignedAppended(archive, 3, table);
    dirty[dirty.size() - table.size() - 1] = 'x';
    CHECK_FALSE(FindAppendedArchive(Bytes(dirty), static_cast<int64_t>(dirty.size()), offset, length));
    // a trailer placed inside the certificate table is not looked at
    std::string inside = SignedAppended(archive, 0, std::string(32, '\0'));
    std::string trailer = Trailer(0, 8, static_cast<uint32_t>(inside.size() - 16));
    inside.replace(inside.size() - 16, 16, trailer);
    CHECK(FindAppendedArchive(Bytes(inside), static_cast<int64_t>(inside.size()), offset, length));
    CHECK(offset != 0); // the archive before the table, not the one the table's bytes name
    // a security directory that names bytes outside the file is no signature
    std::string broken = SignedAppended(archive, 0, table);
    broken.resize(broken.size() - 1);
    CHECK(CertificateTableStart(Bytes(broken), static_cast<int64_t>(broken.size())) ==
          static_cast<int64_t>(broken.size()));
}

TEST_CASE("list, verify and extract read both layouts, also with a signature appended")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=Signed\nversion=3.1\n");
    Put(dir.path("app/docs/readme.txt"), std::string(3000, 'r'));
    Save(dir.path("stub.exe"), MinimalPe());
    std::string output;
    for (const char* layout : {"", " --appended"}) {
        CAPTURE(layout);
        REQUIRE(Run("build -q " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                        dir.path("stub.exe") + " --no-uninstaller" + layout,
                    output) == 0);
        std::vector<uint8_t> setup = Load(dir.path("setup.exe"));
        CHECK(setup.size() % 8 == 0); // a signature follows without padding
        // what osslsigncode does: the table at the end, named by the security directory
        size_t directory = MinimalPeHeader + 24 + 112 + 32;
        WriteU32(&setup[directory], static_cast<uint32_t>(setup.size()));
        WriteU32(&setup[directory + 4], 16);
        setup.insert(setup.end(), {16, 0, 0, 0, 0, 2, 2, 0, 0x30, 0x82, 1, 2, 3, 4, 5, 6});
        Save(dir.path("signed.exe"), setup);
        CHECK(Run("verify " + dir.path("signed.exe"), output) == 0);
        CHECK(output.find(*layout ? "appended), all good" : "in resource 103), all good") != std::string::npos);
        std::string out = dir.path(*layout ? "out-appended" : "out-resource");
        CHECK(Run("extract " + dir.path("signed.exe") + " -C " + out, output) == 0);
        CHECK(Load(out + "/docs/readme.txt").size() == 3000);
    }
}

TEST_CASE("an archive too large for a loadable image is appended instead")
{
    std::vector<uint8_t> stub = MinimalPe();
    PayloadFile file{"big.bin", u"big.bin", "", 300000, 0};
    PackedEntry entry;
    entry.data.assign(300000, 0x42);
    entry.size = 300000;
    entry.crc = Crc32(entry.data.data(), 300000);
    TempDir dir;
    SetupParts parts;
    parts.stub = &stub;
    parts.resources = StubResources(stub, ReadPeLayout(stub.data(), stub.size()));
    parts.imageLimit = 0x40000; // the stub's 12 KiB image fits, with 300 KB more it does not
    CHECK(WriteSetup(dir.path("setup.exe"), parts, {file}, {entry}));
    SetupArchive setup = LoadSetupArchive(dir.path("setup.exe"));
    CHECK_FALSE(setup.inResource);
    CHECK(setup.length == RecordHeaderSize + 14 + 300000 + RecordHeaderSize);
    CHECK(ReadPeLayout(setup.file.data(), setup.file.size()).sizeOfImage < 0x40000);

    SetupParts roomy;
    roomy.stub = &stub;
    roomy.resources = StubResources(stub, ReadPeLayout(stub.data(), stub.size()));
    CHECK_FALSE(WriteSetup(dir.path("roomy.exe"), roomy, {file}, {entry}));
    CHECK(LoadSetupArchive(dir.path("roomy.exe")).inResource);
}

} // TEST_SUITE
