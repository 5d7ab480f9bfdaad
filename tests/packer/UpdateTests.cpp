#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct Run {
    int status;
    std::string output;
    bool has(const std::string& text) const { return output.find(text) != std::string::npos; }
};

Run Pack(const std::string& arguments)
{
    FILE* pipe = popen((std::string(LUMIVO_PACK_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    REQUIRE(pipe);
    Run run{0, ""};
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, got);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

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

TEST_SUITE("update") {

TEST_CASE("an update keeps, patches, stores and removes; with its base it unpacks to the new folder")
{
    TempDir dir;
    MakeVersions(dir);
    REQUIRE(Pack(Build(dir, "v1", "v1.exe", "-q")).status == 0);
    REQUIRE(Pack(Build(dir, "v2", "v2.exe", "--codec lzma -q")).status == 0);
    Run built = Pack(Build(dir, "v2", "update.exe", "--codec lzma --base " + dir.path("v1.exe")));
    CAPTURE(built.output);
    REQUIRE(built.status == 0);
    // The full installer that it reports is the one that the same folder makes without --base.
    CHECK(built.has("the full installer " + std::to_string(fs::file_size(dir.path("v2.exe"))) + " bytes"));
    CHECK(built.has("an update over version \"1.0\": 1 files kept, 2 patched, 5 stored whole, 1 removed"));
    CHECK(fs::file_size(dir.path("update.exe")) < fs::file_size(dir.path("v2.exe")));
    fs::create_directory(dir.path("again"));
    REQUIRE(Pack(Build(dir, "v2", "again/update.exe", "--codec lzma -q --base " + dir.path("v1.exe"))).status == 0);
    CHECK(Load(dir.path("again/update.exe")) == Load(dir.path("update.exe")));

    Run listed = Pack("list " + dir.path("update.exe"));
    CAPTURE(listed.output);
    CHECK(listed.status == 0);
    for (const char* line : {"kept  same.bin", "patch edges.bin", "patch grown.bin", "whole emptied.txt",
                             "whole tiny.txt", "whole licence.txt", "whole install.script", "whole docs\\new.txt",
                             "removed gone.txt\n", "an update over version \"1.0\""})
        CHECK(listed.has(line));

    Run alone = Pack("verify " + dir.path("update.exe"));
    CHECK(alone.status == 0);
    CHECK(alone.has("3 kept files and patches need the base to be checked (--base)"));
    CHECK(Pack("verify " + dir.path("update.exe") + " --base " + dir.path("v1.exe")).output ==
          dir.path("update.exe") + ": 8 entries (archive in resource 103, an update), all good\n");
    Run wrongBase = Pack("verify " + dir.path("update.exe") + " --base " + dir.path("v2.exe"));
    CHECK(wrongBase.status == 1);
    CHECK(wrongBase.has("damaged: edges.bin (the base's file is not the one it patches)"));
    CHECK(wrongBase.has("the base is version \"2.0\", the update installs over version \"1.0\""));

    Run partial = Pack("extract " + dir.path("update.exe") + " -C " + dir.path("partial"));
    CHECK(partial.status == 1);
    CHECK(partial.has("needs the base: same.bin (kept; see --base)"));
    REQUIRE(Pack("extract " + dir.path("update.exe") + " -C " + dir.path("out") + " --base " + dir.path("v1.exe"))
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
        Run run = Pack(Build(dir, "v2", "refused.exe", "--base " + base));
        CAPTURE(run.output);
        CHECK(run.status == 2);
        CHECK(run.has(reason));
        CHECK_FALSE(fs::exists(dir.path("refused.exe")));
    }
    CHECK(Pack("verify " + dir.path("v2.exe") + " --base " + dir.path("v1.exe")).status == 2);
}

} // TEST_SUITE
