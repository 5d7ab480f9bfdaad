#include "packer/PayloadFiles.h"

#include "archive/ArchiveFormat.h"
#include "packer/EntryName.h"
#include "packer/FileTime.h"
#include "packer/PackError.h"

#include <algorithm>
#include <cerrno>
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

static std::string Shown(const fs::path& path)
{
    return "\"" + path.string() + "\"";
}

static bool SameFile(const struct stat& a, const fs::path& other)
{
    struct stat b;
    return !other.empty() && stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void AddFile(PayloadList& payload, const std::string& name, const fs::path& source)
{
    struct stat info;
    if (stat(source.c_str(), &info) != 0)
        Refuse("cannot read " + Shown(source) + ": " + strerror(errno));
    if (SameFile(info, payload.skipped))
        return;
    int handle = open(source.c_str(), O_RDONLY);
    if (handle < 0)
        Refuse("cannot read " + Shown(source) + ": " + strerror(errno));
    close(handle);

    PayloadFile file;
    file.name = name;
    if (!Utf8ToUtf16(name, file.units))
        Refuse("the name of " + Shown(source) + " is not valid UTF-8");
    std::string problem = EntryNameProblem(file.units);
    if (!problem.empty())
        Refuse("the name \"" + name + "\" of " + Shown(source) + " " + problem);
    file.source = source;
    file.size = static_cast<uint64_t>(info.st_size);
    file.time = payload.fixedTime ? *payload.fixedTime : FileTimeOfUnix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    payload.files.push_back(file);
}

void AddFolder(PayloadList& payload, const fs::path& folder)
{
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error), end;
    if (error)
        Refuse("cannot read the folder " + Shown(folder) + ": " + error.message());
    for (; walk != end; walk.increment(error)) {
        if (error)
            break;
        const fs::directory_entry& item = *walk;
        std::error_code typeError;
        if (!item.is_regular_file(typeError))
            continue; // folders, links to folders, devices, broken links
        std::string name;
        for (const fs::path& part : item.path().lexically_relative(folder)) {
            std::string text = part.string();
            if (text.find('\\') != std::string::npos)
                Refuse("the file name " + Shown(item.path()) + " holds a backslash, which would split it in two");
            name += (name.empty() ? "" : "\\") + text;
        }
        AddFile(payload, name, item.path());
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
