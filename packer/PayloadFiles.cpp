#include "packer/PayloadFiles.h"

#include "archive/ArchiveFormat.h"
#include "packer/EntryName.h"
#include "packer/FileTime.h"
#include "packer/PackError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::optional<uint64_t> SourceDateEpoch()
{
    const char* value = getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return std::nullopt;
    uint64_t seconds = 0;
    for (const char* p = value; *p; p++) {
        if (*p < '0' || *p > '9' || seconds > 100000000000ull) // beyond the year 5000: a mistake
            Refuse(std::string("SOURCE_DATE_EPOCH is not a number of seconds: \"") + value + "\"");
        seconds = seconds * 10 + static_cast<uint64_t>(*p - '0');
    }
    return FileTimeOfUnix(static_cast<int64_t>(seconds), 0);
}

// A path for a message: quoted, its control characters escaped.
static std::string Shown(const fs::path& path)
{
    std::string text = path.string(), shown;
    std::u16string units;
    if (Utf8ToUtf16(text, units))
        return "\"" + ShownName(units) + "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", byte);
        shown += byte < 0x20 || byte == 0x7F ? std::string(escape) : std::string(1, c);
    }
    return "\"" + shown + "\"";
}

static bool SameFile(const struct stat& a, const fs::path& other)
{
    struct stat b;
    return !other.empty() && stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Lists a regular file that is not a link, checking that it can be opened now rather than when
// the output is half written.
static void AddListed(PayloadList& payload, const std::string& name, const fs::path& source)
{
    struct stat info;
    if (lstat(source.c_str(), &info) != 0)
        Refuse("cannot read " + Shown(source) + ": " + strerror(errno));
    if (!S_ISREG(info.st_mode))
        Refuse(Shown(source) + " is not a regular file");
    if (SameFile(info, payload.skipped))
        return;
    int handle = open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        Refuse("cannot read " + Shown(source) + ": " + strerror(errno));
    close(handle);

    PayloadFile file;
    file.name = name;
    if (!Utf8ToUtf16(name, file.units))
        Refuse("the name of " + Shown(source) + " is not valid UTF-8");
    std::string problem = EntryNameProblem(file.units);
    if (!problem.empty())
        Refuse("the name \"" + ShownName(file.units) + "\" of " + Shown(source) + " " + problem);
    file.source = source;
    file.size = static_cast<uint64_t>(info.st_size);
    file.time = payload.fixedTime ? *payload.fixedTime : FileTimeOfUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    file.device = static_cast<uint64_t>(info.st_dev);
    file.inode = static_cast<uint64_t>(info.st_ino);
    payload.files.push_back(file);
}

void AddFile(PayloadList& payload, const std::string& name, const fs::path& source)
{
    std::error_code error;
    fs::path real = fs::is_symlink(source, error) ? fs::canonical(source, error) : source;
    if (error)
        Refuse("cannot read " + Shown(source) + ": " + error.message());
    AddListed(payload, name, real);
}

// The file that a link in the folder leads to, when following it was asked for and it stays inside.
static fs::path FollowedLink(const PayloadList& payload, const fs::path& root, const fs::path& link)
{
    if (!payload.followLinks)
        Refuse(Shown(link) + " is a symbolic link; links are not packed, so that nothing outside the folder "
               "can slip in (--follow-links packs links to files inside the folder)");
    std::error_code error;
    fs::path target = fs::canonical(link, error);
    if (error)
        Refuse(Shown(link) + " is a symbolic link that leads nowhere: " + error.message());
    std::string inside = root.string() + "/";
    if (target.string().compare(0, inside.size(), inside) != 0)
        Refuse(Shown(link) + " is a symbolic link to " + Shown(target) + ", outside " + Shown(root));
    if (!fs::is_regular_file(fs::symlink_status(target, error)))
        Refuse(Shown(link) + " is a symbolic link to " + Shown(target) + ", which is not a file; only links "
               "to files are followed");
    return target;
}

void AddFolder(PayloadList& payload, const fs::path& folder)
{
    std::error_code error;
    fs::path root = fs::canonical(folder, error);
    if (error)
        Refuse("cannot read the folder " + Shown(folder) + ": " + error.message());
    fs::recursive_directory_iterator walk(folder, error), end;
    if (error)
        Refuse("cannot read the folder " + Shown(folder) + ": " + error.message());
    for (; walk != end; walk.increment(error)) {
        if (error)
            break;
        const fs::directory_entry& item = *walk;
        std::error_code typeError;
        fs::file_status status = item.symlink_status(typeError);
        bool link = fs::is_symlink(status);
        if (!link && !fs::is_regular_file(status))
            continue; // folders (entered, not listed), devices, pipes, sockets
        std::string name;
        for (const fs::path& part : item.path().lexically_relative(folder)) {
            std::string text = part.string();
            if (text.find('\\') != std::string::npos)
                Refuse("the file name " + Shown(item.path()) + " holds a backslash, which would split it in two");
            name += (name.empty() ? "" : "\\") + text;
        }
        AddListed(payload, name, link ? FollowedLink(payload, root, item.path()) : item.path());
    }
    if (error)
        Refuse("cannot read the folder " + Shown(folder) + ": " + error.message());
}

void CheckPayload(const PayloadList& payload)
{
    std::map<std::u16string, const PayloadFile*> folded;
    for (const PayloadFile& file : payload.files) {
        if (file.size > static_cast<uint64_t>(MaxEntrySize))
            Refuse(Shown(file.source) + " has " + std::to_string(file.size) +
                   " bytes; an entry must be smaller than 2 GiB");
        auto inserted = folded.emplace(FoldedName(file.units), &file);
        if (!inserted.second)
            Refuse("\"" + inserted.first->second->name + "\" (" + inserted.first->second->source.string() +
                   ") and \"" + file.name + "\" (" + file.source.string() +
                   ") have the same name without regard to case");
    }
}

static bool IsInstallScript(const PayloadFile& file)
{
    return FoldedName(file.units) == u"install.script";
}

void OrderPayload(PayloadList& payload)
{
    std::sort(payload.files.begin(), payload.files.end(), [](const PayloadFile& a, const PayloadFile& b) {
        bool scriptA = IsInstallScript(a), scriptB = IsInstallScript(b);
        if (scriptA != scriptB)
            return scriptA;
        return a.units < b.units;
    });
}
