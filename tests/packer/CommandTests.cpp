#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/ArchiveFormat.h"
#include "packer/LzmaEncoder.h"
#include "support/ArchiveBuilder.h"

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string output; // stdout and stderr
};

// Runs lumivo-pack with the arguments (a shell command line) and takes its output and status.
static Outcome Pack(const std::string& arguments)
{
    std::string command = std::string(LUMIVO_PACK_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    REQUIRE(pipe);
    Outcome outcome;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        outcome.output.append(chunk, got);
    int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

static bool Has(const Outcome& outcome, const std::string& text)
{
    return outcome.output.find(text) != std::string::npos;
}

// A setup program whose appended archive is the given one.
static void SaveSetup(const std::string& path, const std::string& archive)
{
    std::vector<uint8_t> stub = MinimalPe();
    Save(path, Appended(std::string(stub.begin(), stub.end()), archive));
}

TEST_SUITE("commands") {

TEST_CASE("help explains every command and option")
{
    Outcome overview = Pack("--help");
    CHECK(overview.status == 0);
    for (const char* word : {"build", "list", "verify", "extract", "Exit status"})
        CHECK(Has(overview, word));
    Outcome build = Pack("build --help");
    CHECK(build.status == 0);
    for (const char* option :
         {"--output", "--stub", "--codec", "--level", "--jobs", "--quiet", "SOURCE_DATE_EPOCH"})
        CHECK(Has(build, option));
    CHECK(Has(Pack("help extract"), "--directory"));
    CHECK(Pack("verify --help").status == 0);
    CHECK(Pack("").status == 2);
    CHECK(Pack("frobnicate").status == 2);
    CHECK(Pack("build app --colour").status == 2);
    CHECK(Pack("build app -o x.exe --level 13").status == 2);
    CHECK(Pack("build app -o x.exe --jobs 0").status == 2);
    CHECK(Has(Pack("build app -o x.exe --codec zstd"), "deflate or lzma, not \"zstd\""));
    CHECK(Pack("build app -o x.exe --codec lzma --level 5").status == 2);
    CHECK(Pack("build app").status == 2);
}

TEST_CASE("build, list, verify and extract agree")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=Demo\n");
    Put(dir.path("app/docs/readme.txt"), std::string(5000, 'r'));
    Save(dir.path("stub.exe"), MinimalPe());
    Outcome built = Pack("build " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                         dir.path("stub.exe") + " --jobs 2 --no-uninstaller");
    CHECK(built.status == 0);
    CHECK(Has(built, "2/2 files"));
    CHECK(Pack("build -q " + dir.path("app") + " --output=" + dir.path("quiet.exe") + " --stub=" +
               dir.path("stub.exe") + " --no-uninstaller")
              .output.empty());

    Outcome listed = Pack("list " + dir.path("setup.exe"));
    CHECK(listed.status == 0);
    CHECK(Has(listed, "install.script"));
    CHECK(Has(listed, "5000 "));
    CHECK(Has(listed, "docs\\readme.txt"));
    Outcome verified = Pack("verify " + dir.path("setup.exe"));
    CHECK(verified.status == 0);
    CHECK(Has(verified, "all good"));

    CHECK(Pack("extract " + dir.path("setup.exe") + " -C " + dir.path("out")).status == 0);
    std::vector<uint8_t> readme = Load(dir.path("out/docs/readme.txt"));
    CHECK(std::string(readme.begin(), readme.end()) == std::string(5000, 'r'));
    // the same time, to the 100 ns of a FILETIME
    auto drift = fs::last_write_time(dir.path("app/docs/readme.txt")) -
                 fs::last_write_time(dir.path("out/docs/readme.txt"));
    CHECK(drift >= std::chrono::nanoseconds(0));
    CHECK(drift < std::chrono::nanoseconds(100));
}

TEST_CASE("refusals exit with 2 and name the file")
{
    TempDir dir;
    Put(dir.path("app/readme.txt"), "no script");
    Save(dir.path("stub.exe"), MinimalPe());
    Outcome refused = Pack("build " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                           dir.path("stub.exe"));
    CHECK(refused.status == 2);
    CHECK(Has(refused, "install.script"));
    CHECK_FALSE(fs::exists(dir.path("setup.exe")));
}

TEST_CASE("verify names every damaged entry and exits with 1")
{
    TempDir dir;
    std::string good = ZlibRecord(u"good.txt", std::string(300, 'g'));
    std::string bad = ZlibRecord(u"bad.txt", std::string(300, 'b'));
    bad[bad.size() - 3] ^= 0x10;
    SaveSetup(dir.path("setup.exe"), good + bad + Record(u"odd.bin", 7, "xyz", 9) + EndRecord());
    Outcome verified = Pack("verify " + dir.path("setup.exe"));
    CHECK(verified.status == 1);
    CHECK(Has(verified, "damaged: bad.txt"));
    CHECK(Has(verified, "damaged: odd.bin"));
    CHECK_FALSE(Has(verified, "damaged: good.txt"));

    // records that break off before the end record
    SaveSetup(dir.path("cut.exe"), good + bad.substr(0, 40));
    Outcome cut = Pack("verify " + dir.path("cut.exe"));
    CHECK(cut.status == 1);
    CHECK(Has(cut, "breaks off after 1 entries"));
    CHECK(Pack("list " + dir.path("cut.exe")).status == 1);

    Save(dir.path("plain.exe"), MinimalPe());
    Outcome none = Pack("verify " + dir.path("plain.exe"));
    CHECK(none.status == 1);
    CHECK(Has(none, "no archive"));
}

TEST_CASE("an LZMA build lists kind 2 and verifies and extracts like a deflate one")
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += "line " + std::to_string(i) + "\n";
    Put(dir.path("app/install.script"), "name=Demo\n");
    Put(dir.path("app/docs/readme.txt"), text);
    Put(dir.path("app/tiny.txt"), "t");
    Save(dir.path("stub.exe"), MinimalPe());
    Outcome built = Pack("build -q " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                         dir.path("stub.exe") + " --codec lzma --no-uninstaller");
    REQUIRE(built.status == 0);
    Outcome listed = Pack("list " + dir.path("setup.exe"));
    CHECK(Has(listed, "\n2 "));
    CHECK(Has(listed, std::to_string(text.size()) + " "));
    CHECK(Has(Pack("verify " + dir.path("setup.exe")), "all good"));
    CHECK(Pack("extract " + dir.path("setup.exe") + " -C " + dir.path("out")).status == 0);
    std::vector<uint8_t> readme = Load(dir.path("out/docs/readme.txt"));
    CHECK(std::string(readme.begin(), readme.end()) == text);
    CHECK(Load(dir.path("out/tiny.txt")).size() == 1);

    // Damaged: a changed byte (the CRC notices), and a changed byte under a CRC made to match,
    // which the decoder itself refuses.
    std::vector<uint8_t> stream;
    REQUIRE(LzmaEncode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), text.size(), stream));
    std::string good(stream.begin(), stream.end()), bad = good;
    bad[bad.size() / 2] ^= 0x20;
    int32_t size = static_cast<int32_t>(text.size());
    SaveSetup(dir.path("damaged.exe"),
              Record(u"good.txt", EntryKindLzma, good, size) +
                  RecordWithCrc(u"crc.txt", EntryKindLzma, bad, size,
                                Crc32(Bytes(good), static_cast<int64_t>(good.size()))) +
                  Record(u"data.txt", EntryKindLzma, bad, size) + EndRecord());
    Outcome verified = Pack("verify " + dir.path("damaged.exe"));
    CHECK(verified.status == 1);
    CHECK_FALSE(Has(verified, "good.txt"));
    CHECK(Has(verified, "damaged: crc.txt (the CRC of its stored bytes is wrong)"));
    CHECK(Has(verified, "damaged: data.txt (it does not unpack to its size)"));
}

TEST_CASE("the archive in resource 103 is the one that counts")
{
    TempDir dir;
    std::string inResource = RawRecord(u"from-resource.txt", "r") + EndRecord();
    std::vector<uint8_t> stub = MinimalPe(&inResource);
    Save(dir.path("setup.exe"), Appended(std::string(stub.begin(), stub.end()),
                                         RawRecord(u"appended.txt", "a") + EndRecord()));
    Outcome listed = Pack("list " + dir.path("setup.exe"));
    CHECK(Has(listed, "from-resource.txt"));
    CHECK_FALSE(Has(listed, "appended.txt"));
    CHECK(Has(Pack("verify " + dir.path("setup.exe")), "in resource 103"));
}

TEST_CASE("extract writes nothing outside its folder and nothing for damaged entries")
{
    TempDir dir;
    std::string damaged = ZlibRecord(u"damaged.txt", std::string(100, 'd'));
    damaged[damaged.size() - 1] ^= 1;
    SaveSetup(dir.path("evil.exe"), RawRecord(u"..\\escaped.txt", "x") + RawRecord(u"a/../../escaped2.txt", "x") +
                                        RawRecord(u"\\absolute.txt", "x") + RawRecord(u"ok\\fine.txt", "fine") +
                                        RawRecord(u"OK\\FINE.TXT", "second") + damaged + EndRecord());
    Outcome extracted = Pack("extract " + dir.path("evil.exe") + " -C " + dir.path("out/inner"));
    CHECK(extracted.status == 1);
    CHECK(Has(extracted, "refused: ..\\escaped.txt"));
    CHECK(Has(extracted, "damaged: damaged.txt"));
    CHECK_FALSE(fs::exists(dir.path("out/escaped.txt")));
    CHECK_FALSE(fs::exists(dir.path("escaped2.txt")));
    CHECK_FALSE(fs::exists(dir.path("out/inner/damaged.txt")));
    std::vector<uint8_t> fine = Load(dir.path("out/inner/ok/fine.txt"));
    CHECK(std::string(fine.begin(), fine.end()) == "fine");
    CHECK_FALSE(fs::exists(dir.path("out/inner/OK")));
}

} // TEST_SUITE
