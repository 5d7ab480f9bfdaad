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
    std::filesystem::path source; // a regular file, never a symbolic link
    uint64_t size;
    uint64_t time; // FILETIME
    // The file that was listed: reading checks that it is still this file, of this size.
    uint64_t device;
    uint64_t inode;
    // Windows FILE_ATTRIBUTE_* bits for a solid block to record. None from a folder: a mode bit
    // says little about how an installed file should be, and a read-only installed file would
    // stop the next version from replacing it.
    uint32_t attributes = 0;
};

struct PayloadList {
    std::vector<PayloadFile> files;
    std::optional<uint64_t> fixedTime; // every entry's time when set (SOURCE_DATE_EPOCH)
    std::filesystem::path skipped;     // a file never to take (the output being built)
    bool followLinks = false;          // pack links to files that lie inside the folder
};

// The FILETIME that SOURCE_DATE_EPOCH fixes, none when it is unset or empty. Refuses a value that
// is not a plain count of seconds.
std::optional<uint64_t> SourceDateEpoch();

// Adds every regular file below folder, named by its path relative to folder. Refuses a symbolic
// link, naming it: nothing outside the folder may slip into an archive. With followLinks, a link
// to a regular file that lies inside the folder is packed as that file under the link's name;
// links to folders and links that lead outside are still refused. Refuses a file that cannot be
// read and a name that cannot be an entry.
void AddFolder(PayloadList& payload, const std::filesystem::path& folder);
// Adds one file named explicitly (a link is followed to its file) under the given entry name
// (UTF-8, backslashes).
void AddFile(PayloadList& payload, const std::string& name, const std::filesystem::path& source);

// Refuses files of 2 GiB or more and names equal without regard to case, naming the files.
void CheckPayload(const PayloadList& payload);
// install.script first (the installer reads it first), then the others by name.
void OrderPayload(PayloadList& payload);

#endif
