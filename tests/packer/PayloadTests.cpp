#include "doctest.h"

#include "MinimalPe.h"
#include "TempFiles.h"
#include "packer/PackError.h"
#include "packer/FileTime.h"
#include "packer/PayloadFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

static std::vector<std::string> Names(const PayloadList& payload)
{
    std::vector<std::string> names;
    for (const PayloadFile& file : payload.files)
        names.push_back(file.name);
    return names;
}

// The message of the refusal that the action raises (empty when there is none).
template <class Action>
static std::string Refusal(Action action)
{
    try {
        action();
    } catch (const PackError& error) {
        CHECK(error.status == ExitRefused);
        return error.message;
    }
    return "";
}

TEST_SUITE("payload") {

TEST_CASE("every regular file becomes an entry named by its relative path with backslashes")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=A");
    Put(dir.path("app/bin/tool.exe"), "MZ");
    Put(dir.path("app/docs/deep/z.txt"), "z");
    Put(dir.path("app/B.txt"), "");
    fs::create_directories(dir.path("app/empty/folder"));
    REQUIRE(mkfifo(dir.path("app/pipe").c_str(), 0600) == 0);

    PayloadList payload;
    AddFolder(payload, dir.path("app"));
    CheckPayload(payload);
    OrderPayload(payload);
    CHECK(Names(payload) ==
          std::vector<std::string>{"install.script", "B.txt", "bin\\tool.exe", "docs\\deep\\z.txt"});
    CHECK(payload.files[2].size == 2);
    CHECK(payload.files[2].units == u"bin\\tool.exe");
}

TEST_CASE("symbolic links are refused by name; --follow-links takes only links to files inside")
{
    TempDir dir;
    Put(dir.path("outside/secret.txt"), "the CI machine's secret");
    Put(dir.path("app/install.script"), "name=A");
    Put(dir.path("app/docs/real.txt"), "real");
    fs::create_symlink(dir.path("outside/secret.txt"), dir.path("app/secret.txt"));
    PayloadList plain;
    std::string message = Refusal([&] { AddFolder(plain, dir.path("app")); });
    CHECK(message.find("app/secret.txt\" is a symbolic link") != std::string::npos);

    // Followed: a link to a file inside is packed as that file; every other link is still refused.
    fs::remove(dir.path("app/secret.txt"));
    fs::create_symlink("docs/real.txt", dir.path("app/alias.txt"));
    PayloadList followed;
    followed.followLinks = true;
    AddFolder(followed, dir.path("app"));
    OrderPayload(followed);
    CHECK(Names(followed) == std::vector<std::string>{"install.script", "alias.txt", "docs\\real.txt"});
    CHECK(followed.files[1].source == fs::canonical(dir.path("app/docs/real.txt")));

    struct Link {
        std::string target;
        const char* why;
    } refused[] = {{dir.path("outside/secret.txt"), "outside"},
                   {"../outside/secret.txt", "outside"},
                   {"docs/../../outside/secret.txt", "outside"},
                   {"docs", "not a file"},
                   {"missing.txt", "leads nowhere"}};
    for (const Link& link : refused) {
        CAPTURE(link.target);
        fs::create_symlink(link.target, dir.path("app/link"));
        PayloadList payload;
        payload.followLinks = true;
        std::string why = Refusal([&] { AddFolder(payload, dir.path("app")); });
        CHECK(why.find("app/link\"") != std::string::npos);
        CHECK(why.find(link.why) != std::string::npos);
        fs::remove(dir.path("app/link"));
    }
}

TEST_CASE("entry times are the modification times, or SOURCE_DATE_EPOCH for all")
{
    TempDir dir;
    Put(dir.path("app/a.txt"), "a");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}}; // 2001-09-09 01:46:40
    REQUIRE(utimensat(AT_FDCWD, dir.path("app/a.txt").c_str(), times, 0) == 0);
    PayloadList payload;
    AddFolder(payload, dir.path("app"));
    CHECK(payload.files[0].time == 126444736001234567ull);

    setenv("SOURCE_DATE_EPOCH", "86400", 1);
    PayloadList fixed;
    fixed.fixedTime = SourceDateEpoch();
    AddFolder(fixed, dir.path("app"));
    CHECK(fixed.files[0].time == FileTimeOfUnix(86400, 0));
    CHECK(FileTimeOfUnix(0, 0) == 116444736000000000ull);
    setenv("SOURCE_DATE_EPOCH", "12x", 1);
    CHECK(Refusal([] { SourceDateEpoch(); }).find("SOURCE_DATE_EPOCH") != std::string::npos);
    setenv("SOURCE_DATE_EPOCH", "", 1);
    CHECK_FALSE(SourceDateEpoch().has_value());
    unsetenv("SOURCE_DATE_EPOCH");
}

TEST_CASE("names equal without regard to case are refused, naming both files")
{
    TempDir dir;
    Put(dir.path("app/Docs/Read.txt"), "1");
    Put(dir.path("app/docs/READ.TXT"), "2");
    PayloadList payload;
    AddFolder(payload, dir.path("app"));
    std::string message = Refusal([&] { CheckPayload(payload); });
    CHECK(message.find("Docs\\Read.txt") != std::string::npos);
    CHECK(message.find("docs\\READ.TXT") != std::string::npos);

    PayloadList twice;
    AddFile(twice, "uninstall.exe", dir.path("app/Docs/Read.txt"));
    AddFile(twice, "UNINSTALL.EXE", dir.path("app/docs/READ.TXT"));
    CHECK_FALSE(Refusal([&] { CheckPayload(twice); }).empty());
}

TEST_CASE("names that cannot be entries are refused, naming the file")
{
    TempDir dir;
    Put(dir.path("app/a\\b.txt"), "x");
    PayloadList payload;
    std::string message = Refusal([&] { AddFolder(payload, dir.path("app")); });
    CHECK(message.find("a\\b.txt") != std::string::npos);
    CHECK(message.find("backslash") != std::string::npos);

    TempDir other;
    Put(other.path("app/what?.txt"), "x");
    PayloadList second;
    CHECK(Refusal([&] { AddFolder(second, other.path("app")); }).find("what?.txt") != std::string::npos);

    PayloadList direct;
    CHECK(Refusal([&] { AddFile(direct, "..\\up.txt", other.path("app/what?.txt")); }).find("\"..\"") !=
          std::string::npos);
    CHECK(Refusal([&] { AddFile(direct, "C:\\abs.txt", other.path("app/what?.txt")); }).find("drive") !=
          std::string::npos);
    CHECK(Refusal([&] { AddFile(direct, "bad.txt", other.path("app/missing.txt")); }).find("missing.txt") !=
          std::string::npos);
}

TEST_CASE("device names, trailing dots and spaces, and control characters are refused")
{
    for (const char* bad : {"CON", "aux.txt", "docs/Nul.tar.gz", "lpt9", "com1 .log", "name.", "folder /x",
                            "esc\x1b[31m.txt"}) {
        TempDir dir;
        Put(dir.path("app/") + bad, "x");
        PayloadList payload;
        CAPTURE(bad);
        std::string message = Refusal([&] { AddFolder(payload, dir.path("app")); });
        CHECK_FALSE(message.empty());
        CHECK(message.find('\x1b') == std::string::npos); // named, but never with its escape character
    }
}

TEST_CASE("files of 2 GiB or more are refused")
{
    TempDir dir;
    Put(dir.path("app/big.bin"), "");
    REQUIRE(truncate(dir.path("app/big.bin").c_str(), 0x7FFFFFFF) == 0); // sparse: takes no space
    PayloadList payload;
    AddFolder(payload, dir.path("app"));
    CHECK(Refusal([&] { CheckPayload(payload); }).empty());
    REQUIRE(truncate(dir.path("app/big.bin").c_str(), 0x80000000LL) == 0);
    PayloadList bigger;
    AddFolder(bigger, dir.path("app"));
    std::string message = Refusal([&] { CheckPayload(bigger); });
    CHECK(message.find("big.bin") != std::string::npos);
    CHECK(message.find("2 GiB") != std::string::npos);
}

TEST_CASE("the file being written is never taken")
{
    TempDir dir;
    Put(dir.path("app/install.script"), "name=A");
    Put(dir.path("app/setup.exe"), "an earlier build");
    PayloadList payload;
    payload.skipped = dir.path("app/../app/setup.exe");
    AddFolder(payload, dir.path("app"));
    CHECK(Names(payload) == std::vector<std::string>{"install.script"});
}

} // TEST_SUITE
