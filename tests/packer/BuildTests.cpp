#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/ArchiveFormat.h"
#include "packer/BuildCommand.h"
#include "packer/EntryName.h"
#include "packer/EntryPacker.h"
#include "packer/PackError.h"
#include "packer/PayloadFiles.h"
#include "packer/PeResources.h"
#include "packer/Progress.h"
#include "packer/SetupReader.h"
#include "packer/StubDebugInfo.h"
#include "packer/VersionInfo.h"
#include "packer/SetupWriter.h"
#include "packer/SlicedDeflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;

// A folder with a script, text, a subfolder, an empty file and incompressible bytes.
static void MakeApp(const TempDir& dir)
{
    std::string text;
    for (int i = 0; i < 2000; i++)
        text += "line " + std::to_string(i % 50) + " of the readme\n";
    std::string noise(40000, '\0');
    std::mt19937 random(7);
    for (char& c : noise)
        c = static_cast<char>(random());
    Put(dir.path("app/install.script"), "name=Demo\nexe-file=bin\\demo.exe\n");
    Put(dir.path("app/docs/readme.txt"), text);
    Put(dir.path("app/bin/demo.exe"), "MZ" + text.substr(0, 3000));
    Put(dir.path("app/empty.dat"), "");
    Put(dir.path("app/noise.bin"), noise);
    Save(dir.path("stub.exe"), MinimalPe());
}

static BuildOptions Options(const TempDir& dir, const std::string& output = "setup.exe")
{
    BuildOptions options;
    options.appDir = dir.path("app");
    options.output = dir.path(output);
    options.stub = dir.path("stub.exe");
    options.jobs = 2;
    options.quiet = true;
    return options;
}

struct ReadEntry {
    ArchiveEntry record;
    std::string bytes;
    bool good;
};

// Every entry of a built setup program, by name, unpacked by the same rules as the installer.
static SetupArchive ArchiveOf(const std::string& path)
{
    return LoadSetupArchive(path);
}

static std::map<std::string, ReadEntry> Entries(const std::string& path, std::vector<std::string>* order = nullptr)
{
    static SetupArchive setup; // entries point into it
    setup = LoadSetupArchive(path);
    std::map<std::string, ReadEntry> entries;
    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry)) {
        std::u16string name;
        for (int32_t i = 0; i < entry.nameLength; i++)
            name += static_cast<char16_t>(EntryNameUnit(entry, i));
        std::string bytes(static_cast<size_t>(entry.size), '\0');
        bool good = UnpackEntry(entry, reinterpret_cast<uint8_t*>(&bytes[0])) == EntryCheck::Good;
        entries[Utf16ToUtf8(name)] = ReadEntry{entry, bytes, good};
        if (order)
            order->push_back(Utf16ToUtf8(name));
    }
    CHECK(WalkReachedEndRecord(walk));
    return entries;
}

static std::string FileText(const std::string& path)
{
    std::vector<uint8_t> bytes = Load(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST_SUITE("build") {

TEST_CASE("a built setup program holds every file, verified, behind the stub")
{
    TempDir dir;
    MakeApp(dir);
    BuildSetup(Options(dir));
    std::vector<std::string> order;
    std::map<std::string, ReadEntry> entries = Entries(dir.path("setup.exe"), &order);
    CHECK(order == std::vector<std::string>{"install.script", "bin\\demo.exe", "docs\\readme.txt", "empty.dat",
                                            "noise.bin"});
    for (auto& [name, entry] : entries) {
        std::string source = name;
        std::replace(source.begin(), source.end(), '\\', '/');
        CHECK(entry.good);
        CHECK(entry.bytes == FileText(dir.path("app/" + source)));
    }
    // compressed at the highest level, incompressible bytes stored raw, empty files empty
    const ArchiveEntry& readme = entries["docs\\readme.txt"].record;
    CHECK(readme.kind == EntryKindZlib);
    CHECK(readme.packedSize < readme.size / 10);
    CHECK(readme.data[0] == 0x78);
    CHECK(readme.data[1] == 0xDA);
    CHECK(entries["noise.bin"].record.packedSize == entries["noise.bin"].record.size);
    CHECK(entries["empty.dat"].record.packedSize == 0);
    CHECK(entries["empty.dat"].record.crc == 0);

    // the archive is resource 103 of the rebuilt image, nothing follows the image
    std::vector<uint8_t> setup = Load(dir.path("setup.exe"));
    PeLayout layout = ReadPeLayout(setup.data(), setup.size());
    CHECK(layout.imageEnd == setup.size());
    size_t offset = 0, length = 0;
    REQUIRE(FindPeResource(setup.data(), setup.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
    CHECK(length == ArchiveOf(dir.path("setup.exe")).length);
    // in a section that starts on a page of the file, so that a loader maps it instead of reading it
    bool inSection = false;
    for (const PeSection& section : layout.sections)
        if (offset >= section.rawOffset && offset < static_cast<size_t>(section.rawOffset) + section.rawSize) {
            inSection = true;
            CHECK(section.rawOffset % 0x1000 == 0);
        }
    CHECK(inSection);

    // the appended layout: the rebuilt image, then the archive and its trailer, ending on 8 bytes
    BuildOptions appended = Options(dir, "appended.exe");
    appended.appended = true;
    BuildSetup(appended);
    CHECK(Entries(dir.path("appended.exe")).size() == entries.size());
    setup = Load(dir.path("appended.exe"));
    layout = ReadPeLayout(setup.data(), setup.size());
    CHECK_FALSE(FindPeResource(setup.data(), setup.size(), ResourceTypeRcData, ArchiveResourceId, offset, length));
    ArchiveTrailer trailer = ReadTrailer(setup.data() + setup.size() - TrailerSize);
    CHECK(trailer.offset - layout.imageEnd < 8);
    CHECK(trailer.trailerOffset == setup.size() - TrailerSize);
    CHECK(setup.size() % 8 == 0);
}

TEST_CASE("the image carries the version information and the time of SOURCE_DATE_EPOCH")
{
    TempDir dir;
    MakeApp(dir);
    Put(dir.path("app/install.script"), "\xEF\xBB\xBFnazwa=Demo\r\nVersion=1.0\r\nversion=2.5.1-beta\r\n"
                                        "publisher=Quenbar\r\ncopyright=(c) 2026\r\n#name=comment\r\n");
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    BuildSetup(Options(dir));
    unsetenv("SOURCE_DATE_EPOCH");
    std::vector<uint8_t> setup = Load(dir.path("setup.exe"));
    PeLayout layout = ReadPeLayout(setup.data(), setup.size());
    CHECK(layout.timeDateStamp == 1700000000);
    size_t offset = 0, length = 0;
    REQUIRE(FindPeResource(setup.data(), setup.size(), ResourceTypeVersion, 1, offset, length));
    std::string version(setup.begin() + offset, setup.begin() + offset + length);
    auto has = [&](const std::u16string& text) {
        std::string bytes;
        for (char16_t unit : text)
            bytes += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return version.find(bytes) != std::string::npos;
    };
    for (const char16_t* text : {u"Demo Setup", u"2.5.1-beta", u"Quenbar", u"(c) 2026", u"setup.exe"})
        CHECK(has(text));
    CHECK_FALSE(has(u"comment"));
    // file version 2.5.1.0 in the fixed part
    CHECK(version.find(std::string("\xBD\x04\xEF\xFE\x00\x00\x01\x00\x05\x00\x02\x00\x00\x00\x01\x00", 16)) !=
          std::string::npos);

    CHECK(VersionNumbers(u"1.2.3.4.5") == std::array<uint16_t, 4>{1, 2, 3, 4});
    CHECK(VersionNumbers(u"2.1-beta") == std::array<uint16_t, 4>{2, 1, 0, 0});
    CHECK(VersionNumbers(u"v2") == std::array<uint16_t, 4>{0, 0, 0, 0});
    CHECK(VersionNumbers(u"") == std::array<uint16_t, 4>{0, 0, 0, 0});
    CHECK(VersionNumbers(u"1.70000.3") == std::array<uint16_t, 4>{1, 0, 0, 0});
    CHECK(VersionNumbers(u"10.") == std::array<uint16_t, 4>{10, 0, 0, 0});
}

TEST_CASE("the uninstaller joins under both names unless the application brings its own")
{
    TempDir dir;
    MakeApp(dir);
    Save(dir.path("uninstall.exe"), MinimalPe());
    BuildOptions options = Options(dir);
    options.uninstaller = dir.path("uninstall.exe");
    BuildSetup(options);
    std::vector<std::string> order;
    std::map<std::string, ReadEntry> entries = Entries(dir.path("setup.exe"), &order);
    std::string uninstaller = FileText(dir.path("uninstall.exe"));
    CHECK(entries["_de_install.exe"].bytes == uninstaller);
    CHECK(entries["_de_installu.exe"].bytes == uninstaller);
    CHECK(order.size() == 7);

    Put(dir.path("app/_DE_INSTALL.EXE"), "the application's own");
    BuildSetup(options);
    entries = Entries(dir.path("setup.exe"), &order);
    CHECK(entries.count("_de_install.exe") == 0);
    CHECK(entries["_DE_INSTALL.EXE"].bytes == "the application's own");
    CHECK(entries["_de_installu.exe"].bytes == uninstaller);

    options.uninstaller = dir.path("app/docs/readme.txt");
    CHECK_THROWS_AS(BuildSetup(options), PackError);
    options.uninstaller = dir.path("no-such-uninstaller.exe");
    CHECK_THROWS_AS(BuildSetup(options), PackError);
}

TEST_CASE("the same folder gives the same bytes, whatever the number of jobs")
{
    TempDir dir;
    MakeApp(dir);
    // the output's name is in the version information: the same name in two folders
    fs::create_directories(dir.path("one"));
    fs::create_directories(dir.path("many"));
    BuildOptions one = Options(dir, "one/setup.exe"), many = Options(dir, "many/setup.exe");
    one.jobs = 1;
    many.jobs = 8;
    BuildSetup(one);
    BuildSetup(many);
    CHECK(Load(dir.path("one/setup.exe")) == Load(dir.path("many/setup.exe")));

    int32_t deflated = Entries(dir.path("one/setup.exe"))["docs\\readme.txt"].record.packedSize;
    one.codec = many.codec = EntryCodec::Lzma;
    one.solid = many.solid = false;
    BuildSetup(one);
    BuildSetup(many);
    CHECK(Load(dir.path("one/setup.exe")) == Load(dir.path("many/setup.exe")));
    std::map<std::string, ReadEntry> lzma = Entries(dir.path("one/setup.exe"));
    CHECK(lzma["docs\\readme.txt"].record.kind == EntryKindLzma);
    CHECK(lzma["docs\\readme.txt"].record.packedSize < deflated);
    for (const auto& entry : lzma)
        CHECK(entry.second.good);
    CHECK(lzma["noise.bin"].record.packedSize == lzma["noise.bin"].record.size);

    BuildOptions fast = Options(dir, "fast.exe");
    fast.level = 1;
    BuildSetup(fast);
    CHECK(Entries(dir.path("fast.exe"))["docs\\readme.txt"].record.data[1] == 0x01);
    CHECK(Entries(dir.path("fast.exe"))["docs\\readme.txt"].good);
}

TEST_CASE("by default files of 64 KiB and more are packed at level 12, smaller ones at level 9")
{
    TempDir dir;
    MakeApp(dir);
    std::string text;
    for (int i = 0; text.size() < 70000; i++)
        text += "line " + std::to_string(i * 7919 % 1000) + " of a larger text\n";
    Put(dir.path("app/large.txt"), text);
    BuildSetup(Options(dir));
    std::map<std::string, ReadEntry> entries = Entries(dir.path("setup.exe"));
    auto packedAt = [](const std::string& bytes, int level) {
        std::vector<uint8_t> data =
            PackBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), level).data;
        return std::string(data.begin(), data.end());
    };
    auto stored = [&](const std::string& name) {
        const ArchiveEntry& record = entries[name].record;
        return std::string(reinterpret_cast<const char*>(record.data), static_cast<size_t>(record.packedSize));
    };
    CHECK(stored("large.txt") == packedAt(text, 12));
    CHECK(stored("large.txt") != packedAt(text, 9));
    std::string readme = entries["docs\\readme.txt"].bytes;
    REQUIRE(readme.size() < 64 * 1024);
    CHECK(stored("docs\\readme.txt") == packedAt(readme, 9));
    CHECK(DeflateLevelFor(LevelBySize, 65535) == 9);
    CHECK(DeflateLevelFor(LevelBySize, 65536) == 12);
    CHECK(DeflateLevelFor(5, 65536) == 5);
}

TEST_CASE("extra folders join the archive under their own relative names")
{
    TempDir dir;
    MakeApp(dir);
    Put(dir.path("extra/_de_install.exe"), "uninstaller");
    BuildOptions options = Options(dir);
    options.extraFolders.push_back(dir.path("extra"));
    BuildSetup(options);
    CHECK(Entries(dir.path("setup.exe"))["_de_install.exe"].bytes == "uninstaller");

    Put(dir.path("clash/DOCS/README.TXT"), "clash");
    options.extraFolders.push_back(dir.path("clash"));
    CHECK_THROWS_AS(BuildSetup(options), PackError);
}

TEST_CASE("a refused build writes nothing and leaves an earlier output as it was")
{
    TempDir dir;
    MakeApp(dir);
    Save(dir.path("setup.exe"), std::string("earlier build"));
    auto refusal = [&](const BuildOptions& options) {
        try {
            BuildSetup(options);
        } catch (const PackError& error) {
            CHECK(error.status == ExitRefused);
            CHECK(FileText(dir.path("setup.exe")) == "earlier build");
            for (const fs::directory_entry& item : fs::directory_iterator(dir.path()))
                CHECK(item.path().filename().string().find(".tmp") == std::string::npos);
            return error.message;
        }
        FAIL("not refused");
        return std::string();
    };

    BuildOptions options = Options(dir);
    options.stub = dir.path("app/docs/readme.txt");
    CHECK(refusal(options).find("not a PE image") != std::string::npos);
    std::string archive = "an archive";
    Save(dir.path("stub103.exe"), MinimalPe(&archive));
    options.stub = dir.path("stub103.exe");
    CHECK(refusal(options).find("103") != std::string::npos);
    options.stub = dir.path("no-such-stub.exe");
    CHECK(refusal(options).find("no-such-stub.exe") != std::string::npos);

    fs::remove(dir.path("app/install.script"));
    CHECK(refusal(Options(dir)).find("install.script") != std::string::npos);
    Put(dir.path("app/INSTALL.SCRIPT"), "name=upper case is found");
    BuildSetup(Options(dir, "upper.exe"));
    options = Options(dir);
    options.appDir = dir.path("missing-app");
    CHECK(refusal(options).find("missing-app") != std::string::npos);
}

TEST_CASE("an unstripped stub builds in both layouts, without its sections for debuggers and symbols")
{
    TempDir dir;
    MakeApp(dir);
    std::vector<uint8_t> stripped = MinimalPe(), unstripped = WithDebugInfo(stripped);
    CHECK(WithoutDebugInfo(unstripped) == stripped);
    Save(dir.path("stub.exe"), unstripped);
    BuildOptions appended = Options(dir, "appended.exe");
    appended.appended = true;
    for (const BuildOptions& options : {Options(dir), appended}) {
        BuildSetup(options);
        CHECK(Entries(options.output.string()).size() == 5);
        std::vector<uint8_t> setup = Load(options.output.string());
        PeLayout layout = ReadPeLayout(setup.data(), setup.size());
        CHECK(layout.sections.size() == 3);
        CHECK(layout.sections.back().name == ".reloc");
        CHECK(ReadU32(&setup[layout.fileHeader + 8]) == 0); // no symbol table
    }
    // With anything else behind the symbols nothing is left out, and the stub is refused.
    unstripped.resize(unstripped.size() + 100, 'x');
    CHECK(WithoutDebugInfo(unstripped) == unstripped);
    Save(dir.path("stub.exe"), unstripped);
    try {
        BuildSetup(Options(dir, "refused.exe"));
        FAIL("an overlay behind the symbols was accepted");
    } catch (const PackError& error) {
        CHECK(error.status == ExitRefused);
    }
}

TEST_CASE("an output that cannot be written fails with 1 and leaves no temporary file")
{
    TempDir dir;
    MakeApp(dir);
    auto failure = [&](const std::string& output) {
        try {
            BuildSetup(Options(dir, output));
        } catch (const PackError& error) {
            CHECK(error.status == ExitDamaged);
            return error.message;
        }
        FAIL("no failure");
        return std::string();
    };
    CHECK(failure("missing/setup.exe").find("missing/setup.exe") != std::string::npos);
    fs::create_directories(dir.path("taken.exe/inside"));
    CHECK(failure("taken.exe").find("taken.exe") != std::string::npos);
    for (const fs::directory_entry& item : fs::directory_iterator(dir.path()))
        CHECK(item.path().filename().string().find(".tmp") == std::string::npos);
}

TEST_CASE("a file that changes between listing and packing is refused, not cut short or overread")
{
    TempDir dir;
    Put(dir.path("app/grows.log"), "first line\n");
    Put(dir.path("app/shrinks.bin"), std::string(1000, 's'));
    Put(dir.path("app/replaced.txt"), "listed");
    auto refusal = [&](const std::string& name, const std::function<void()>& change) {
        PayloadList payload;
        AddFolder(payload, dir.path("app"));
        PayloadList one;
        for (const PayloadFile& file : payload.files)
            if (file.name == name)
                one.files.push_back(file);
        REQUIRE(one.files.size() == 1);
        change();
        Progress progress(1, one.files[0].size, true);
        try {
            PackFiles(one.files, 1, 1, progress);
        } catch (const PackError& error) {
            CHECK(error.status == ExitRefused);
            CHECK(error.message.find(name) != std::string::npos);
            return error.message;
        }
        FAIL("not refused");
        return std::string();
    };
    CHECK(refusal("grows.log", [&] { Put(dir.path("app/grows.log"), "first line\nsecond line\n"); })
              .find("now 23") != std::string::npos);
    CHECK(refusal("shrinks.bin", [&] { REQUIRE(truncate(dir.path("app/shrinks.bin").c_str(), 10) == 0); })
              .find("listed with 1000 bytes") != std::string::npos);
    std::string replaced = refusal("replaced.txt", [&] {
        Put(dir.path("elsewhere.txt"), "planted");
        fs::rename(dir.path("elsewhere.txt"), dir.path("app/replaced.txt"));
    });
    CHECK(replaced.find("was replaced by another file") != std::string::npos);
    std::string linked = refusal("replaced.txt", [&] {
        fs::remove(dir.path("app/replaced.txt"));
        fs::create_symlink("/etc/passwd", dir.path("app/replaced.txt"));
    });
    CHECK(linked.find("cannot read") != std::string::npos);
}

TEST_CASE("an archive must fit the 32-bit fields")
{
    CHECK_NOTHROW(CheckArchiveFits("setup.exe", 1000, 0x7FFFFFFF));
    CHECK_THROWS_AS(CheckArchiveFits("setup.exe", 1000, 0x80000000ull), PackError);
    CHECK_NOTHROW(CheckArchiveFits("setup.exe", 0x80000000ull, 0x7FFFFFFF));
    CHECK_THROWS_AS(CheckArchiveFits("setup.exe", 0x80000001ull, 0x7FFFFFFF), PackError);
}

TEST_CASE("packing keeps only streams that are smaller than the file")
{
    std::string text(1000, 'a');
    PackedEntry packed = PackBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 12);
    CHECK(packed.data.size() < 100);
    CHECK(packed.crc == Crc32(packed.data.data(), static_cast<int64_t>(packed.data.size())));
    for (std::string small : {std::string(), std::string("x"), std::string("xy")}) {
        PackedEntry raw = PackBytes(reinterpret_cast<const uint8_t*>(small.data()), small.size(), 12);
        CHECK(std::string(raw.data.begin(), raw.data.end()) == small);
        CHECK(raw.size == static_cast<int32_t>(small.size()));
    }
}

TEST_CASE("a file compressed in slices is one zlib stream that both zlib and the installer's reader read")
{
    std::mt19937 random(11);
    std::string text;
    for (int i = 0; text.size() < 300000; i++)
        text += "slice line " + std::to_string(random() % 3000) + " of a program's text\n";
    std::string noise(70000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(10), libdeflate_free_compressor);
    // Every block end lands somewhere else in its byte: slices of all sizes, files of none, one
    // byte, exactly one slice, one byte more, text and noise.
    for (size_t sliceSize : {1, 2, 3, 7, 1000, 4096, 65536}) {
        for (const std::string& file : {std::string(), std::string("x"), text.substr(0, sliceSize),
                                        text.substr(0, sliceSize + 1), text.substr(0, 9 * sliceSize + 5),
                                        text, noise + text.substr(0, 5000)}) {
            if (sliceSize < 100 && file.size() > 20000)
                continue;
            CAPTURE(sliceSize);
            CAPTURE(file.size());
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file.data());
            std::vector<uint8_t> stream = DeflateSliced(compressor.get(), bytes, file.size(), sliceSize);
            std::vector<uint8_t> out(file.size() + 1);
            CHECK(InflateExact(stream.data(), static_cast<int32_t>(stream.size()), out.data(),
                               static_cast<int32_t>(file.size())));
            CHECK(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(file.size())) == file);
            uLongf length = static_cast<uLongf>(out.size());
            REQUIRE(uncompress(out.data(), &length, stream.data(), static_cast<uLong>(stream.size())) == Z_OK);
            CHECK(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)) == file);
        }
    }

    // A large file of the build is sliced: the same bytes on any number of threads. Its second
    // MiB is noise, which goes at the fastest level; the text around it at the file's level.
    TempDir dir;
    MakeApp(dir);
    std::string large;
    while (large.size() <= SliceFilesAbove + 12345)
        large += text;
    large.resize(SliceFilesAbove + 12345);
    for (size_t i = DeflateSliceSize; i < 2 * DeflateSliceSize; i++)
        large[i] = static_cast<char>(random());
    const uint8_t* largeBytes = reinterpret_cast<const uint8_t*>(large.data());
    CHECK(DeflateLevelForBytes(LevelBySize, largeBytes + DeflateSliceSize, DeflateSliceSize, large.size()) == 1);
    CHECK(DeflateLevelForBytes(LevelBySize, largeBytes, DeflateSliceSize, large.size()) == 10);
    CHECK(DeflateLevelForBytes(12, largeBytes + DeflateSliceSize, DeflateSliceSize, large.size()) == 12);
    Put(dir.path("app/large.bin"), large);
    std::map<int, std::string> stored;
    for (int jobs : {1, 3}) {
        BuildOptions options = Options(dir, "sliced" + std::to_string(jobs) + ".exe");
        options.jobs = jobs;
        BuildSetup(options);
        std::map<std::string, ReadEntry> entries = Entries(dir.path("sliced" + std::to_string(jobs) + ".exe"));
        REQUIRE(entries["large.bin"].good);
        CHECK(entries["large.bin"].bytes == large);
        CHECK(entries["large.bin"].record.kind == EntryKindZlib);
        CHECK(entries["docs\\readme.txt"].bytes.size() > 0);
        const ArchiveEntry& record = entries["large.bin"].record;
        stored[jobs] = std::string(reinterpret_cast<const char*>(record.data), static_cast<size_t>(record.packedSize));
    }
    CHECK(stored[1] == stored[3]);
    CHECK(stored[1].size() < DeflateSliceSize + large.size() / 10);
    CHECK(DeflateLevelFor(LevelBySize, SliceFilesAbove + 1) == 10);
}

} // TEST_SUITE
