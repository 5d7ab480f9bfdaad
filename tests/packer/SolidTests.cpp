#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/SolidBlock.h"
#include "packer/BuildCommand.h"
#include "packer/EntryName.h"
#include "packer/LzmaEncoder.h"
#include "packer/SetupReader.h"
#include "packer/SolidPacker.h"
#include "support/ArchiveBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

static std::string Text(size_t size, uint32_t seed)
{
    static const char* const words[] = {"solid ", "block ", "of ", "files ", "zażółć ", "\r\n", "42 ", "the "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += words[random() % 8];
    return text.substr(0, size);
}

// Memory for cursors that counts what is asked for and can be told to fail.
struct CountingMemory {
    int64_t largest = 0, blocks = 0;
    bool fail = false;

    SolidMemory memory()
    {
        auto allocate = [](void* context, int64_t bytes) -> void* {
            CountingMemory& self = *static_cast<CountingMemory*>(context);
            self.largest = std::max(self.largest, bytes);
            self.blocks++;
            return self.fail ? nullptr : std::malloc(static_cast<size_t>(bytes));
        };
        return SolidMemory{allocate, [](void*, void* block) { std::free(block); }, this};
    }
};

static PayloadFile Listed(const std::u16string& name, uint64_t size, uint64_t inode, uint64_t time = 0)
{
    PayloadFile file;
    file.units = name;
    file.name = Utf16ToUtf8(name);
    file.size = size;
    file.time = time;
    file.device = 1;
    file.inode = inode;
    return file;
}

// A block record over files of the given contents (one name each, inode = index), as the packer
// lays it out, compressed with a small dictionary so that the cursor's window wraps many times.
static std::string BlockRecord(const std::vector<std::string>& contents, std::vector<PayloadFile>& files,
                               std::string* content = nullptr)
{
    std::vector<SolidGroup> groups;
    for (size_t i = 0; i < contents.size(); i++) {
        files.push_back(Listed(u"dir\\file" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                   (i >= 26 ? u"2" : u""),
                               contents[i].size(), i, 130000000000000000ull + i));
        files.back().attributes = i % 3 == 1 ? SolidAttributeReadOnly : 0;
        groups.push_back({i});
    }
    std::vector<uint8_t> bytes = SolidBlockContent(files, groups, [&](const PayloadFile& file) {
        const std::string& data = contents[file.inode];
        return std::vector<uint8_t>(data.begin(), data.end());
    });
    if (content)
        content->assign(bytes.begin(), bytes.end());
    LzmaSettings settings;
    settings.dictionary = 4096;
    std::vector<uint8_t> stream;
    REQUIRE(LzmaEncode(bytes.data(), bytes.size(), bytes.size() * 2 + 100, stream, settings));
    return Record(u"<solid block 1>", EntryKindSolid, std::string(stream.begin(), stream.end()),
                  static_cast<int32_t>(bytes.size()));
}

static ArchiveEntry EntryOf(const std::string& record)
{
    ArchiveWalk walk = StartWalk(Bytes(record), static_cast<int64_t>(record.size()));
    ArchiveEntry entry;
    REQUIRE(NextEntry(walk, entry));
    return entry;
}

TEST_SUITE("solid") {

TEST_CASE("a cursor hands out every file in slices through a window the size of the dictionary")
{
    std::vector<std::string> contents = {"", Text(10000, 1), "x", Text(100000, 2), "", Text(4095, 3), Text(4097, 4)};
    for (int i = 0; i < 30; i++)
        contents.push_back(Text(static_cast<size_t>(i * 37), static_cast<uint32_t>(i)));
    std::vector<PayloadFile> files;
    std::string record = BlockRecord(contents, files);
    ArchiveEntry entry = EntryOf(record);

    for (int32_t maxBytes : {1, 7, 4096, 1 << 20}) {
        CAPTURE(maxBytes);
        CountingMemory counting;
        SolidCursor cursor;
        REQUIRE(OpenSolidBlock(cursor, entry, counting.memory(), SolidUse::Files) == SolidOpen::Good);
        CHECK(counting.largest <= 4096); // the dictionary, not the block of 200 KB
        SolidFile file;
        size_t index = 0;
        while (NextSolidFile(cursor, file)) {
            REQUIRE(index < contents.size());
            SolidName name = SolidFileName(cursor.directory, file);
            CHECK(file.nameCount == 1);
            CHECK(name.time == files[index].time);
            CHECK(name.attributes == files[index].attributes);
            std::u16string text;
            for (int32_t u = 0; u < name.nameLength; u++)
                text += static_cast<char16_t>(SolidNameUnit(name, u));
            CHECK(text == files[index].units);
            // Every third file is skipped halfway: the next one still comes out right.
            bool skip = maxBytes > 1 && index % 3 == 2 && !contents[index].empty();
            std::string bytes;
            const uint8_t* data;
            int32_t length;
            SolidStep step;
            while ((step = NextSolidSlice(cursor, maxBytes, data, length)) == SolidStep::Slice) {
                CHECK(length <= maxBytes);
                bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
                if (skip && bytes.size() * 2 >= contents[index].size())
                    break;
            }
            if (!skip) {
                CHECK(step == SolidStep::End);
                CHECK(bytes == contents[index]);
            }
            index++;
        }
        CHECK(index == contents.size());
        CloseSolidBlock(cursor);
    }

    // Listing needs the directory only.
    CountingMemory counting;
    SolidCursor cursor;
    REQUIRE(OpenSolidBlock(cursor, entry, counting.memory(), SolidUse::Directory) == SolidOpen::Good);
    CHECK(cursor.directory.fileCount == static_cast<int32_t>(contents.size()));
    CHECK(counting.blocks == 1);
    SolidFile file;
    CHECK_FALSE(NextSolidFile(cursor, file));
    CloseSolidBlock(cursor);
}

TEST_CASE("damaged and crafted blocks: the damaged file is named, claims are weighed before allocating")
{
    std::vector<std::string> contents;
    for (int i = 0; i < 12; i++)
        contents.push_back(Text(3000, static_cast<uint32_t>(i)));
    std::vector<PayloadFile> files;
    std::string content, record = BlockRecord(contents, files, &content);
    size_t header = RecordHeaderSize + 2 * std::string("<solid block 1>").size();

    // A changed byte well inside the files: the files before it are good, the one it falls in
    // and (the stream being broken or its CRCs wrong) every later one are damaged.
    std::string damaged = record;
    damaged[header + (damaged.size() - header) * 2 / 3] ^= 0x40;
    SolidCursor cursor;
    CountingMemory counting;
    REQUIRE(OpenSolidBlock(cursor, EntryOf(damaged), counting.memory(), SolidUse::Files) == SolidOpen::Good);
    std::vector<SolidStep> verdicts;
    SolidFile file;
    const uint8_t* data;
    int32_t length;
    while (NextSolidFile(cursor, file)) {
        SolidStep step;
        while ((step = NextSolidSlice(cursor, 1000, data, length)) == SolidStep::Slice) {
        }
        verdicts.push_back(step);
    }
    CloseSolidBlock(cursor);
    REQUIRE(verdicts.size() == contents.size());
    auto first = std::find(verdicts.begin(), verdicts.end(), SolidStep::Damaged);
    CHECK(first - verdicts.begin() >= 4);
    CHECK(first != verdicts.end());
    CHECK(std::count(first, verdicts.end(), SolidStep::End) == 0);

    // Directories whose numbers do not add up.
    auto withU32 = [&content](size_t at, uint32_t value) {
        std::string changed = content;
        WriteU32(reinterpret_cast<uint8_t*>(&changed[at]), value);
        return changed;
    };
    SolidDirectory directory;
    int64_t directoryLength = ReadU32(Bytes(content)), blockSize = static_cast<int64_t>(content.size());
    CHECK(ParseSolidDirectory(Bytes(content), directoryLength, blockSize, directory));
    uint32_t fileCount = 12;
    const std::pair<std::string, int64_t> broken[] = {
        {withU32(4, 0), directoryLength},                              // no files
        {withU32(8, fileCount - 1), directoryLength},                  // fewer names than files
        {withU32(12, 2999), directoryLength},                          // sizes that do not reach the block's end
        {withU32(12 + 8 * fileCount, 2), directoryLength},             // name counts that do not add up
        {withU32(12 + 24 * fileCount, 0), directoryLength},         // an empty name
        {withU32(12 + 24 * fileCount, 60), directoryLength},        // names longer than the directory
        {withU32(0, static_cast<uint32_t>(directoryLength + 2)), directoryLength},   // a directoryLength other than its own
        {content, directoryLength - 2},
    };
    for (const auto& [bytes, claimed] : broken)
        CHECK_FALSE(ParseSolidDirectory(Bytes(bytes), claimed, blockSize, directory));

    // A size that 60 stored bytes cannot give, and a directory that claims the whole block: refused
    // before anything is allocated, or with no more than the block's declared size.
    std::string stream = record.substr(header);
    ArchiveEntry claims = EntryOf(Record(u"<solid block 1>", EntryKindSolid, stream.substr(0, 60), 600001));
    CountingMemory untouched;
    CHECK(OpenSolidBlock(cursor, claims, untouched.memory(), SolidUse::Files) == SolidOpen::Damaged);
    CloseSolidBlock(cursor);
    CHECK(untouched.blocks == 0);
    std::vector<uint8_t> huge(content.begin(), content.end());
    WriteU32(huge.data(), static_cast<uint32_t>(huge.size()));
    std::vector<uint8_t> hugeStream;
    REQUIRE(LzmaEncode(huge.data(), huge.size(), huge.size(), hugeStream));
    CountingMemory bounded;
    CHECK(OpenSolidBlock(cursor, EntryOf(Record(u"b", EntryKindSolid, std::string(hugeStream.begin(), hugeStream.end()),
                                                static_cast<int32_t>(huge.size()))),
                         bounded.memory(), SolidUse::Files) == SolidOpen::Damaged);
    CloseSolidBlock(cursor);
    CHECK(bounded.largest <= static_cast<int64_t>(huge.size()));
    // Not a block, or one that would read as raw; no memory.
    CHECK(OpenSolidBlock(cursor, EntryOf(Record(u"x", EntryKindLzma, stream, blockSize)), untouched.memory(),
                         SolidUse::Files) == SolidOpen::Damaged);
    CloseSolidBlock(cursor);
    CHECK(OpenSolidBlock(cursor, EntryOf(Record(u"x", EntryKindSolid, stream, static_cast<int32_t>(stream.size()))),
                         untouched.memory(), SolidUse::Files) == SolidOpen::Damaged);
    CloseSolidBlock(cursor);
    CountingMemory none;
    none.fail = true;
    CHECK(OpenSolidBlock(cursor, EntryOf(record), none.memory(), SolidUse::Files) == SolidOpen::NoMemory);
    CloseSolidBlock(cursor);
    CHECK(untouched.blocks == 0);
}

TEST_CASE("files go in the order the installer writes them, the same file on disk once")
{
    std::vector<PayloadFile> files = {
        Listed(u"install.script", 10, 1), Listed(u"licence.txt", 10, 2),     Listed(u"b.txt", 10, 3),
        Listed(u"sub\\z.dll", 10, 4),     Listed(u"sub\\a.txt", 10, 5),      Listed(u"c.dll", 10, 6),
        Listed(u"A.dll", 10, 7),          Listed(u"x.exe", 10, 8),           Listed(u"readme.md", 10, 9),
        Listed(u"_de_install.exe", 10, 10), Listed(u"_de_installu.exe", 10, 10), Listed(u"link.dll", 10, 7),
    };
    ScriptKeys keys = ParseScriptKeys("licence=LICENCE.txt\nkopiuj=b.txt|SUB\\*|*.dll|missing.txt\n");
    SolidPlan plan = PlanSolidArchive(files, keys, 0);
    std::vector<std::u16string> own, order;
    for (size_t i : plan.ownRecords)
        own.push_back(files[i].units);
    CHECK(own == std::vector<std::u16string>{u"install.script", u"licence.txt"});
    REQUIRE(plan.blocks.size() == 1);
    std::ostringstream groups;
    for (const SolidGroup& group : plan.blocks[0]) {
        for (size_t i : group)
            groups << Utf16ToUtf8(files[i].units) << (i == group.back() ? "" : "+");
        groups << " ";
    }
    CHECK(groups.str() ==
          "_de_install.exe+_de_installu.exe b.txt sub\\z.dll sub\\a.txt A.dll+link.dll c.dll x.exe readme.md ");

    // Blocks: all in one up to 256 MiB, else shared out evenly; a file larger than a block alone.
    auto blockSizes = [](const std::vector<uint64_t>& sizes, uint64_t blockSize) {
        std::vector<PayloadFile> listed;
        for (size_t i = 0; i < sizes.size(); i++)
            listed.push_back(Listed(u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)), sizes[i], i));
        std::vector<size_t> counts;
        for (const auto& block : PlanSolidArchive(listed, ScriptKeys(), blockSize).blocks)
            counts.push_back(block.size());
        return counts;
    };
    const uint64_t mib = 1 << 20;
    CHECK(blockSizes({100 * mib, 100 * mib, 56 * mib}, 0) == std::vector<size_t>{3});
    CHECK(blockSizes({100 * mib, 100 * mib, 100 * mib, 100 * mib, 100 * mib, 100 * mib}, 0) ==
          std::vector<size_t>{2, 2, 2});
    CHECK(blockSizes({10, 70000, 10, 10, 60000, 10}, 65536) == std::vector<size_t>{1, 1, 4});

    // Files stored raw end the block before them; one with several names stays in its block.
    std::vector<PayloadFile> mixed = {Listed(u"a.bin", 10, 1), Listed(u"b.bin", 10, 2), Listed(u"c.bin", 10, 3),
                                      Listed(u"d.bin", 10, 4), Listed(u"e.bin", 10, 4)};
    SolidPlan cut = PlanSolidArchive(mixed, ScriptKeys(), 0, [](size_t i) { return i != 0; });
    CHECK(cut.rawRecords == std::vector<size_t>{1, 2});
    REQUIRE(cut.blocks.size() == 2);
    CHECK(cut.blocks[0] == std::vector<SolidGroup>{{0}});
    CHECK(cut.blocks[1] == std::vector<SolidGroup>{{3, 4}});
}

TEST_CASE("a solid build comes back whole through extract: every byte, time and name at its limits")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=Demo\nlicence=docs\\licence.txt\ncopy-files=notes\\*|*\n");
    Put(dir.path("app/docs/licence.txt"), Text(2000, 99));
    for (int i = 0; i < 40; i++)
        Put(dir.path("app/notes/" + std::to_string(i) + ".txt"), Text(static_cast<size_t>(i * 211 % 5000), 7 + i));
    Put(dir.path("app/big.bin"), Text(300000, 5)); // larger than a block
    std::mt19937 random(11);
    std::string noise(1536 << 10, '\0'); // stored as it is, between two blocks
    for (char& byte : noise)
        byte = static_cast<char>(random());
    Put(dir.path("app/notes/noise.txt"), noise);
    Put(dir.path("app/empty/zero.bin"), "");
    // Names at the limits: one letter, a 255-unit component, a path far beyond 260 units, letters
    // outside the basic plane, spaces and inner dots.
    Put(dir.path("app/a"), "a");
    Put(dir.path("app/" + std::string(251, 'n') + ".txt"), "long");
    std::string deep = "app";
    for (int i = 0; i < 24; i++)
        deep += "/level" + std::to_string(i) + std::string(6, 'x');
    Put(dir.path(deep + "/deep.txt"), "deep");
    Put(dir.path("app/zażółć \xF0\x9F\x98\x80.txt"), "emoji");
    Put(dir.path("app/a b.c d.txt"), "spaces");
    fs::create_hard_link(dir.path("app/big.bin"), dir.path("app/same.bin"));
    Save(dir.path("stub.exe"), MinimalPe());
    Save(dir.path("uninstall.exe"), MinimalPe());

    BuildOptions options;
    options.appDir = dir.path("app");
    options.stub = dir.path("stub.exe");
    options.uninstaller = dir.path("uninstall.exe");
    options.codec = EntryCodec::Lzma;
    options.blockSize = 64 << 10;
    options.jobs = 2;
    options.quiet = true;
    // Twice, for the same bytes (the name is part of the version information: another folder).
    fs::create_directories(dir.path("again"));
    for (const char* name : {"setup.exe", "again/setup.exe"}) {
        options.output = dir.path(name);
        BuildSetup(options);
    }
    CHECK(Load(dir.path("setup.exe")) == Load(dir.path("again/setup.exe")));

    Outcome listed = Pack("list " + dir.path("setup.exe"));
    CHECK(listed.status == 0);
    CHECK(Has(listed, "<solid block 3>"));
    CHECK(Has(listed, " install.script\n"));
    CHECK(listed.output.find("\n2 ") < listed.output.find("\n3 ")); // own records before the blocks
    size_t noiseLine = listed.output.rfind('\n', listed.output.find(" notes\\noise.txt"));
    CHECK(listed.output.substr(noiseLine, 30).find("2    1572864    1572864 ") == 1);
    Outcome verified = Pack("verify " + dir.path("setup.exe"));
    CHECK(verified.status == 0);
    CHECK(Has(verified, "all good"));
    Outcome extracted = Pack("extract " + dir.path("setup.exe") + " -C " + dir.path("out"));
    CAPTURE(extracted.output);
    CHECK(extracted.status == 0);

    size_t compared = 0;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(dir.path("app"))) {
        if (!item.is_regular_file())
            continue;
        fs::path out = dir.path("out") / fs::relative(item.path(), dir.path("app"));
        CAPTURE(out);
        REQUIRE(fs::exists(out));
        CHECK(Load(out) == Load(item.path().string()));
        auto drift = fs::last_write_time(item.path()) - fs::last_write_time(out);
        CHECK(drift >= std::chrono::nanoseconds(0));
        CHECK(drift < std::chrono::nanoseconds(100));
        compared++;
    }
    CHECK(compared == 51);
    for (const char* uninstaller : {"out/_de_install.exe", "out/_de_installu.exe"})
        CHECK(Load(dir.path(uninstaller)) == Load(dir.path("uninstall.exe")));

    // A damaged block: verify names its files from the damaged one on; extract writes the files
    // before it, byte for byte, and none of the damaged ones.
    SetupArchive setup = LoadSetupArchive(dir.path("setup.exe"));
    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry entry;
    while (NextEntry(walk, entry) && !IsSolidKind(entry.kind)) {
    }
    REQUIRE(entry.kind == EntryKindSolidOnProgram); // the first block, after the stub's code
    std::vector<uint8_t> bytes = Load(dir.path("setup.exe"));
    size_t stream = setup.offset + static_cast<size_t>(entry.data - setup.base());
    bytes[stream + static_cast<size_t>(entry.packedSize) / 2] ^= 0x08;
    Save(dir.path("damaged.exe"), bytes);
    Outcome reverified = Pack("verify " + dir.path("damaged.exe"));
    CHECK(reverified.status == 1);
    CHECK(Has(reverified, "damaged: "));
    CHECK_FALSE(Has(reverified, "damaged: _de_install.exe"));
    Outcome partly = Pack("extract " + dir.path("damaged.exe") + " -C " + dir.path("partly"));
    CHECK(partly.status == 1);
    CHECK(Load(dir.path("partly/_de_install.exe")) == Load(dir.path("uninstall.exe")));
    std::istringstream lines(reverified.output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("damaged: ", 0) == 0) {
            std::string name = line.substr(9, line.find(" (") - 9);
            std::replace(name.begin(), name.end(), '\\', '/');
            CAPTURE(name);
            CHECK_FALSE(fs::exists(dir.path("partly/" + name)));
        }
    // The directory damaged: the block is named, its files are lost.
    bytes = Load(dir.path("setup.exe"));
    bytes[stream + 12] ^= 0x01;
    Save(dir.path("no-directory.exe"), bytes);
    Outcome lost = Pack("verify " + dir.path("no-directory.exe"));
    CHECK(lost.status == 1);
    CHECK(Has(lost, "damaged: <solid block 1> (its directory is damaged"));
}

TEST_CASE("extract gives a read-only file back read-only")
{
    TempDir dir;
    std::vector<PayloadFile> files;
    std::string block = BlockRecord({"plain", "read-only"}, files);
    std::vector<uint8_t> stub = MinimalPe();
    Save(dir.path("setup.exe"), Appended(std::string(stub.begin(), stub.end()), block + EndRecord()));
    REQUIRE(Pack("extract " + dir.path("setup.exe") + " -C " + dir.path("out")).status == 0);
    struct stat plain, readOnly;
    REQUIRE(stat(dir.path("out/dir/filea").c_str(), &plain) == 0);
    REQUIRE(stat(dir.path("out/dir/fileb").c_str(), &readOnly) == 0);
    CHECK((plain.st_mode & S_IWUSR) != 0);
    CHECK((readOnly.st_mode & 0222) == 0);
    CHECK(Load(dir.path("out/dir/fileb")) == std::vector<uint8_t>{'r', 'e', 'a', 'd', '-', 'o', 'n', 'l', 'y'});
}

// The image as a loader maps it at another address: sections at their addresses, every relocated
// address moved, writable sections changed by the running program.
static std::vector<uint8_t> LoadedElsewhere(const std::vector<uint8_t>& file)
{
    uint32_t pe = ReadU32(&file[0x3C]), optional = pe + 24;
    uint32_t sections = optional + (file[pe + 20] | file[pe + 21] << 8), count = file[pe + 6];
    std::vector<uint8_t> image(ReadU32(&file[optional + 56]), 0);
    std::copy(file.begin(), file.begin() + 0x400, image.begin());
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* section = &file[sections + 40 * i];
        uint32_t address = ReadU32(section + 12), rawSize = ReadU32(section + 16), raw = ReadU32(section + 20);
        std::copy(file.begin() + raw, file.begin() + raw + rawSize, image.begin() + address);
        if (ReadU32(section + 36) & 0x80000000) // writable: the program's globals, the import table
            std::fill(image.begin() + address, image.begin() + address + rawSize, 0xCC);
    }
    uint32_t relocations = ReadU32(&file[optional + 112 + 40]), size = ReadU32(&file[optional + 112 + 44]);
    for (uint32_t done = 0; done < size;) {
        uint32_t page = ReadU32(&image[relocations + done]), block = ReadU32(&image[relocations + done + 4]);
        for (uint32_t entry = done + 8; entry < done + block; entry += 2) {
            uint16_t value = static_cast<uint16_t>(image[relocations + entry] | image[relocations + entry + 1] << 8);
            if (value >> 12 == 10)
                WriteU64(&image[page + (value & 0xFFF)], ReadU64(&image[page + (value & 0xFFF)]) + 0x7FF000000ull);
        }
        done += block;
    }
    return image;
}

TEST_CASE("the first block starts from the program's code: the same in the stub, the setup program and the running image")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=Demo\n");
    Put(dir.path("app/notes.txt"), Text(5000, 3));
    BuildOptions options;
    options.appDir = dir.path("app");
    options.stub = LUMIVO_STUB_PATH;
    options.output = dir.path("setup.exe");
    options.uninstaller = LUMIVO_STUB_PATH; // an uninstaller shares most of the stub's code
    options.codec = EntryCodec::Lzma;
    options.quiet = true;
    BuildSetup(options);

    SetupArchive stub, setup = LoadSetupArchive(dir.path("setup.exe"));
    stub.file = Load(LUMIVO_STUB_PATH);
    ProgramCode fromStub = stub.code(), fromSetup = setup.code();
    REQUIRE(fromStub.length > 100000);
    CHECK(std::equal(fromStub.bytes, fromStub.bytes + fromStub.length, fromSetup.bytes, fromSetup.bytes + fromSetup.length));
    std::vector<uint8_t> loaded = LoadedElsewhere(setup.file);
    ProgramImage image = {loaded.data(), static_cast<int64_t>(loaded.size()), true};
    std::vector<uint8_t> fromImage(static_cast<size_t>(ProgramCodeLength(image)));
    CopyProgramCode(image, fromImage.data());
    CHECK(fromImage == std::vector<uint8_t>(fromStub.bytes, fromStub.bytes + fromStub.length));

    ArchiveWalk walk = StartWalk(setup.base(), setup.length);
    ArchiveEntry block;
    while (NextEntry(walk, block) && !IsSolidKind(block.kind)) {
    }
    REQUIRE(block.kind == EntryKindSolidOnProgram);
    CHECK(block.packedSize < 80000); // the stub again as the uninstaller costs a fraction of its 380 KB
    // Another program's code: the block does not decode to its files, and says so.
    std::vector<uint8_t> other(fromImage);
    other[other.size() / 2] ^= 1;
    for (ProgramCode code : {fromSetup, ProgramCode{other.data(), fromSetup.length}, ProgramCode{nullptr, 0}}) {
        CountingMemory counting;
        SolidCursor cursor;
        SolidOpen opened = OpenSolidBlock(cursor, block, counting.memory(), SolidUse::Files, code);
        bool good = opened == SolidOpen::Good;
        SolidFile file;
        const uint8_t* data;
        int32_t length;
        while (good && NextSolidFile(cursor, file))
            while (true) {
                SolidStep step = NextSolidSlice(cursor, 1 << 20, data, length);
                if (step == SolidStep::Slice)
                    continue;
                good = step == SolidStep::End;
                break;
            }
        CloseSolidBlock(cursor);
        CHECK(good == (code.bytes == fromSetup.bytes));
    }
}

} // TEST_SUITE
