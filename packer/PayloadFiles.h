// The files that become the archive's entries: gathered from folders (and single files), checked
// against every rule that the installer relies on, and put in one fixed order.
#ifndef LUMIVO_PACKER_PAYLOADFILES_H
#define LUMIVO_PACKER_PAYLOADFILES_H

#include <filesystem>
#include <optional>
#include <stdint.h>
#include <string>
#include <vector>

struct PayloadFile {
    std::string name;      // entry name in UTF-8 with backslashes
    std::u16string units;  // the same as stored in the archive
    std::filesystem::path source;
    uint64_t size;
    uint64_t time; // FILETIME
};

struct PayloadList {
    std::vector<PayloadFile> files;
    std::optional<uint64_t> fixedTime; // every entry's time when set (SOURCE_DATE_EPOCH)
    std::filesystem::path skipped;     // a file never to take (the output being built)
};

// The FILETIME that SOURCE_DATE_EPOCH fixes, none when it is unset or empty. Refuses a value that
// is not a plain count of seconds.
std::optional<uint64_t> SourceDateEpoch();

// Adds every regular file below folder (symbolic links to files included, links to folders not
// followed), named by its path relative to folder. Refuses a file that cannot be read and a
// name that cannot be an entry.
void AddFolder(PayloadList& payload, const std::filesystem::path& folder);
// Adds one file under the given entry name (UTF-8, backslashes).
void AddFile(PayloadList& payload, const std::string& name, const std::filesystem::path& source);

// Refuses files of 2 GiB or more and names equal without regard to case, naming the files.
void CheckPayload(const PayloadList& payload);
// install.script first (the installer reads it first), then the others by name.
void OrderPayload(PayloadList& payload);

#endif
