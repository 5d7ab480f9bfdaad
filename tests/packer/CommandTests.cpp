#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "archive/ArchiveFormat.h"
#include "LumivoVersion.h"
#include "packer/LzmaEncoder.h"
#include "packer/Sha256.h"
#include "support/ArchiveBuilder.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sys/wait.h>

namespace fs = std::filesystem;

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
         {"--output", "--stub", "--codec", "--no-solid", "--block-size", "256 MiB", "one thread", "--level",
          "--jobs", "--quiet", "SOURCE_DATE_EPOCH"})
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
    CHECK(Has(Pack("build app -o x.exe --block-size 1M"), "goes with --codec lzma"));
    CHECK(Has(Pack("build app -o x.exe --codec lzma --block-size 2G"), "from 64K to 2047M"));
    CHECK(Pack("build app -o x.exe --codec lzma --block-size 12X").status == 2);
    CHECK(Pack("build app -o x.exe --codec lzma --no-solid --block-size 1M").status == 2);
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

    // stubs that cannot carry the archive, and icons that are no icons
    Put(dir.path("app/install.script"), "name=Demo\n");
    std::vector<uint8_t> stub = MinimalPe();
    std::vector<uint8_t> truncated(stub.begin(), stub.begin() + 0x100), notLast = stub, overlapping = stub;
    WriteU32(&notLast[MinimalPeHeader + 24 + 112 + 40], 0);
    WriteU32(&overlapping[MinimalPeSections + 40 + 12], 0x1000);
    Save(dir.path("truncated.exe"), truncated);
    Save(dir.path("not-last.exe"), notLast);
    Save(dir.path("overlapping.exe"), overlapping);
    Save(dir.path("bad.ico"), std::string("\0\0\1\0\1\0 short"));
    const std::pair<std::string, std::string> cases[] = {
        {"--stub " + dir.path("truncated.exe"), "cut short"},
        {"--stub " + dir.path("not-last.exe"), "not the last one"},
        {"--stub " + dir.path("overlapping.exe"), "overlaps"},
        {"--stub " + dir.path("stub.exe") + " --icon " + dir.path("bad.ico"), "bad.ico"},
        {"--stub " + dir.path("stub.exe") + " --icon " + dir.path("no-such.ico"), "no-such.ico"}};
    for (const auto& [options, reason] : cases) {
        Outcome outcome = Pack("build " + dir.path("app") + " -o " + dir.path("setup.exe") + " " + options);
        CAPTURE(outcome.output);
        CHECK(outcome.status == 2);
        CHECK(Has(outcome, reason));
        CHECK_FALSE(fs::exists(dir.path("setup.exe")));
    }

    // A link to a secret outside the folder is named and nothing is written.
    fs::create_symlink("/etc/passwd", dir.path("app/secret.txt"));
    Outcome leaked = Pack("build " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                          dir.path("stub.exe") + " --no-uninstaller --follow-links");
    CHECK(leaked.status == 2);
    CHECK(Has(leaked, "app/secret.txt\" is a symbolic link to \"/etc/passwd\", outside"));
    CHECK_FALSE(fs::exists(dir.path("setup.exe")));
    Outcome plain = Pack("build " + dir.path("app") + " -o " + dir.path("setup.exe") + " --stub " +
                         dir.path("stub.exe") + " --no-uninstaller");
    CHECK(Has(plain, "secret.txt\" is a symbolic link"));
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

TEST_CASE("a crafted archive can neither drive the terminal nor make the reader allocate its claims")
{
    TempDir dir;
    // A title-setting escape sequence, a CSI in its 8-bit form and a right-to-left override.
    SaveSetup(dir.path("evil.exe"), RawRecord(u"a\u001B]0;owned\u0007.txt", "x") +
                                        RawRecord(u"\u009B2J", "y") + RawRecord(u"gpj.\u202Eexe", "z") +
                                        EndRecord());
    for (const char* command : {"list ", "verify ", "extract -C out "}) {
        Outcome outcome = Pack(command + dir.path("evil.exe"));
        CAPTURE(command);
        CHECK(outcome.output.find('\x1B') == std::string::npos);
        CHECK(outcome.output.find("\xC2\x9B") == std::string::npos);
        CHECK(outcome.output.find("\xE2\x80\xAE") == std::string::npos);
    }
    Outcome listed = Pack("list " + dir.path("evil.exe"));
    CHECK(Has(listed, "a\\x1B]0;owned\\x07.txt"));
    CHECK(Has(listed, "\\x9B2J"));
    CHECK(Has(listed, "gpj.\\u202Eexe"));

    // Ten stored bytes cannot unpack to 2 GiB - 1: refused before anything is allocated.
    int32_t tooManyRuns = (30 / 3 + 1) * 127 + 1;
    std::string runs(30, '\x80');
    SaveSetup(dir.path("bomb.exe"), Record(u"bomb.bin", EntryKindZlib, std::string(10, 'z'), 0x7FFFFFFF) +
                                        Record(u"runs.bin", EntryKindRuns, runs, tooManyRuns) + EndRecord());
    Outcome verified = Pack("verify " + dir.path("bomb.exe"));
    CHECK(verified.status == 1);
    CHECK(Has(verified, "damaged: bomb.bin (its size is more than its stored bytes can unpack to)"));
    CHECK(Has(verified, "damaged: runs.bin (its size is more than its stored bytes can unpack to)"));
}

TEST_CASE("an LZMA build without solid blocks lists kind 2 and verifies and extracts like a deflate one")
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
                         dir.path("stub.exe") + " --codec lzma --no-solid --no-uninstaller");
    REQUIRE(built.status == 0);
    Outcome listed = Pack("list " + dir.path("setup.exe"));
    CHECK(Has(listed, "\n2 "));
    CHECK_FALSE(Has(listed, "\n3 "));
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

TEST_CASE("init writes a script to start from and never overwrites one")
{
    TempDir dir;
    auto script = [&](const std::string& folder) {
        std::vector<uint8_t> bytes = Load(dir.path(folder + "/install.script"));
        return std::string(bytes.begin(), bytes.end());
    };
    // no program, one program, two programs at the top (a program further down does not count)
    Put(dir.path("none/docs/readme.txt"), "r");
    Put(dir.path("one/Tool.EXE"), "MZ");
    Put(dir.path("one/bin/helper.exe"), "MZ");
    Put(dir.path("two/b.exe"), "MZ");
    Put(dir.path("two/a.exe"), "MZ");
    for (const char* folder : {"none", "one", "two"})
        CHECK(Pack("init " + dir.path(folder)).status == 0);
    CHECK(Has(Outcome{0, script("none")}, "name=none\n"));
    CHECK(Has(Outcome{0, script("none")}, "# exe-file=\n"));
    CHECK(Has(Outcome{0, script("one")}, "\nexe-file=Tool.EXE\n"));
    CHECK(Has(Outcome{0, script("two")}, "several programs (a.exe, b.exe)"));
    CHECK(Has(Outcome{0, script("two")}, "\n# exe-file=a.exe\n"));
    for (const char* folder : {"none", "one", "two"})
        for (const char* line : {"\ncopy-files=*\n", "\nstart-menu-shortcut=yes\n", "\ndesktop-shortcut=yes\n",
                                 "\ndetect-lang=1\n", "\n# publisher=\n"})
            CHECK(Has(Outcome{0, script(folder)}, line));

    // an existing script, whatever the case of its name, stays as it was
    Put(dir.path("kept/INSTALL.SCRIPT"), "name=Mine\n");
    Outcome refused = Pack("init " + dir.path("kept"));
    CHECK(refused.status == 2);
    CHECK(Has(refused, "INSTALL.SCRIPT"));
    CHECK(Load(dir.path("kept/INSTALL.SCRIPT")).size() == 10);
    CHECK(Pack("init " + dir.path("one")).status == 2);
    CHECK(Pack("init " + dir.path("no-such-folder")).status == 2);
    CHECK(Pack("init").status == 2);

    Put(dir.path("named/x.exe"), "MZ");
    CHECK(Pack("init " + dir.path("named") + " --name \"Zażółć App\" --exe bin/main.exe").status == 0);
    CHECK(Has(Outcome{0, script("named")}, "\nname=Zażółć App\n"));
    CHECK(Has(Outcome{0, script("named")}, "\nexe-file=bin\\main.exe\n"));
    CHECK(Has(Pack("init --help"), "--exe FILE"));

    // the starter script packs as it is
    Save(dir.path("stub.exe"), MinimalPe());
    CHECK(Pack("build -q " + dir.path("one") + " -o " + dir.path("one.exe") + " --stub " + dir.path("stub.exe") +
               " --no-uninstaller")
              .status == 0);
}

TEST_CASE("--version names the version, libdeflate and the stub with its SHA-256")
{
    auto sha = [](const std::string& text) { return Sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size()); };
    CHECK(sha("") == "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    CHECK(sha("abc") == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    CHECK(sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq") ==
          "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    CHECK(sha(std::string(1000000, 'a')) == "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    Outcome version = Pack("--version");
    CHECK(version.status == 0);
    CHECK(Has(version, "lumivo-pack " LUMIVO_VERSION_TEXT "\n"));
    CHECK(Has(version, "libdeflate 1."));
    CHECK(Has(version, "lumivo-stub.exe"));
}

} // TEST_SUITE

namespace {

std::string Noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() % 7 == 0 ? random() : 'a' + random() % 4);
    return bytes;
}

// Every file below a folder, by relative path.
std::map<std::string, std::vector<uint8_t>> Files(const std::string& folder)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(folder))
        if (item.is_regular_file())
            files[fs::relative(item.path(), folder).string()] = Load(item.path().string());
    return files;
}

// Version 1 and version 2 of one program: unchanged files, a file changed in its first and last
// byte, one emptied, one grown past any dictionary its first version was packed with, one
// removed, one new, and small and licence files that are always stored whole.
void MakeVersions(const TempDir& dir)
{
    std::string same = Noise(20000, 1), edges = Noise(30000, 2), grown = Noise(5000, 3);
    for (const char* version : {"v1", "v2"}) {
        bool second = version[1] == '2';
        std::string app = dir.path(std::string(version) + "/");
        Put(app + "install.script", std::string("name=Demo\nversion=") + (second ? "2.0" : "1.0") +
                                        "\nlicence=licence.txt\ncopy-files=*\n");
        Put(app + "same.bin", same);
        Put(app + "licence.txt", "The licence, the same in both.\n");
        Put(app + "tiny.txt", "abc");
        std::string changed = edges;
        if (second) {
            changed.front() ^= 0x20;
            changed.back() ^= 0x20;
        }
        Put(app + "edges.bin", changed);
        Put(app + "emptied.txt", second ? "" : Noise(2000, 4));
        Put(app + "grown.bin", second ? grown + Noise(80000, 5) : grown);
        Put(app + (second ? "docs/new.txt" : "gone.txt"), Noise(3000, second ? 6 : 7));
    }
    Save(dir.path("stub.exe"), MinimalPe());
}

std::string Build(const TempDir& dir, const std::string& app, const std::string& output,
                  const std::string& more = "")
{
    return "build " + dir.path(app) + " -o " + dir.path(output) + " --stub " + dir.path("stub.exe") +
           " --no-uninstaller " + more;
}

} // namespace

TEST_SUITE("update")
{

    TEST_CASE("an update keeps, patches, stores and removes; with its base it unpacks to the new folder")
    {
        TempDir dir;
        MakeVersions(dir);
        REQUIRE(Pack(Build(dir, "v1", "v1.exe", "-q")).status == 0);
        REQUIRE(Pack(Build(dir, "v2", "v2.exe", "--codec lzma -q")).status == 0);
        Outcome built = Pack(Build(dir, "v2", "update.exe", "--codec lzma --base " + dir.path("v1.exe")));
        CAPTURE(built.output);
        REQUIRE(built.status == 0);
        // The full installer that it reports is the one that the same folder makes without --base.
        CHECK(
            Has(built, "the full installer " + std::to_string(fs::file_size(dir.path("v2.exe"))) + " bytes"));
        CHECK(
            Has(built, "an update over version \"1.0\": 1 files kept, 2 patched, 5 stored whole, 1 removed"));
        CHECK(fs::file_size(dir.path("update.exe")) < fs::file_size(dir.path("v2.exe")));
        fs::create_directory(dir.path("again"));
        REQUIRE(Pack(Build(dir, "v2", "again/update.exe", "--codec lzma -q --base " + dir.path("v1.exe")))
                    .status == 0);
        CHECK(Load(dir.path("again/update.exe")) == Load(dir.path("update.exe")));

        Outcome listed = Pack("list " + dir.path("update.exe"));
        CAPTURE(listed.output);
        CHECK(listed.status == 0);
        for (const char* line :
             {"kept  same.bin", "patch edges.bin", "patch grown.bin", "whole emptied.txt", "whole tiny.txt",
              "whole licence.txt", "whole install.script", "whole docs\\new.txt", "removed gone.txt\n",
              "an update over version \"1.0\""})
            CHECK(Has(listed, line));

        Outcome alone = Pack("verify " + dir.path("update.exe"));
        CHECK(alone.status == 0);
        CHECK(Has(alone, "3 kept files and patches need the base to be checked (--base)"));
        CHECK(Pack("verify " + dir.path("update.exe") + " --base " + dir.path("v1.exe")).output ==
              dir.path("update.exe") + ": 8 entries (archive in resource 103, an update), all good\n");
        Outcome wrongBase = Pack("verify " + dir.path("update.exe") + " --base " + dir.path("v2.exe"));
        CHECK(wrongBase.status == 1);
        CHECK(Has(wrongBase, "damaged: edges.bin (the base's file is not the one it patches)"));
        CHECK(Has(wrongBase, "the base is version \"2.0\", the update installs over version \"1.0\""));

        Outcome partial = Pack("extract " + dir.path("update.exe") + " -C " + dir.path("partial"));
        CHECK(partial.status == 1);
        CHECK(Has(partial, "needs the base: same.bin (kept; see --base)"));
        REQUIRE(Pack("extract " + dir.path("update.exe") + " -C " + dir.path("out") + " --base " +
                     dir.path("v1.exe"))
                    .status == 0);
        CHECK(Files(dir.path("out")) == Files(dir.path("v2")));

        // Bases that an update cannot be built against, and --base where no update is.
        Put(dir.path("other/install.script"), "name=Another\n");
        REQUIRE(Pack(Build(dir, "other", "other.exe", "-q")).status == 0);
        const std::pair<std::string, std::string> refused[] = {
            {dir.path("other.exe"), "installs \"Another\", not \"Demo\""},
            {dir.path("update.exe"), "is an update installer"},
            {dir.path("none.exe"), "none.exe"},
            {dir.path("stub.exe"), "carries no archive"}};
        for (const auto& [base, reason] : refused) {
            Outcome run = Pack(Build(dir, "v2", "refused.exe", "--base " + base));
            CAPTURE(run.output);
            CHECK(run.status == 2);
            CHECK(Has(run, reason));
            CHECK_FALSE(fs::exists(dir.path("refused.exe")));
        }
        CHECK(Pack("verify " + dir.path("v2.exe") + " --base " + dir.path("v1.exe")).status == 2);

        // A file large enough to be deflated in slices is kept all the same.
        std::string big = Noise((4 << 20) + 1000, 8);
        for (const char* version : {"1.0", "2.0"}) {
            Put(dir.path(std::string("big") + version[0] + "/install.script"),
                std::string("name=Big\nversion=") + version + "\ncopy-files=*\n");
            Put(dir.path(std::string("big") + version[0] + "/big.bin"), big);
        }
        REQUIRE(Pack(Build(dir, "big1", "big1.exe", "-q")).status == 0);
        REQUIRE(Pack(Build(dir, "big2", "big2.exe", "-q --base " + dir.path("big1.exe"))).status == 0);
        Outcome bigList = Pack("list " + dir.path("big2.exe"));
        CAPTURE(bigList.output);
        CHECK(Has(bigList, "kept  big.bin"));
        CHECK(fs::file_size(dir.path("big2.exe")) < fs::file_size(dir.path("big1.exe")) / 100);
    }

} // TEST_SUITE
