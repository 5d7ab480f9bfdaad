// Where each file of an LZMA archive goes: the entries the installer reads at start-up in records
// of their own, everything else in solid blocks, in the order the installer writes it.
#ifndef LUMIVO_PACKER_SOLIDPLAN_H
#define LUMIVO_PACKER_SOLIDPLAN_H

#include "packer/PayloadFiles.h"
#include "packer/ScriptKeys.h"

#include <stddef.h>
#include <functional>
#include <stdint.h>
#include <vector>

// Blocks up to this size hold the whole payload; a larger payload is cut into blocks of about this
// size, which the installer decodes in parallel. Every cut costs bytes: a block cannot use the
// bytes of another.
enum : uint64_t { DefaultSolidBlockSize = 256ull << 20 };

// One stored file: indexes into the payload of its names, all of one file on disk (the first is
// the one read); its bytes are stored once.
typedef std::vector<size_t> SolidGroup;

struct SolidPlan {
    std::vector<size_t> ownRecords; // install.script and the licence texts, in records of their own
    // Files stored as they are, in records of their own: LZMA would gain nothing on them and take
    // seconds for each hundred megabytes to decode. Each ends the block before it, so that every
    // block's files stay one run in the order of writing.
    std::vector<size_t> rawRecords;
    std::vector<std::vector<SolidGroup>> blocks;
};

// The order of the files within blocks, as the installer writes them: the uninstallers first, then
// the copy list as the installer expands it (patterns take the archive's files in archive order,
// which puts files of one kind together: by extension, then by file name), then the files that no
// list names. A file and the names that are the same file on disk (hard links, the uninstaller
// under its two names) become one stored file. The files are cut into blocks of about blockSize
// bytes (0: one block up to DefaultSolidBlockSize, above it blocks of equal size near it); a file
// larger than a block has one of its own. A file for which storeRaw says so (not one of several
// names) goes into rawRecords instead, and the next file starts a new block.
SolidPlan PlanSolidArchive(const std::vector<PayloadFile>& files, const ScriptKeys& keys, uint64_t blockSize,
                           const std::function<bool(size_t index)>& storeRaw = nullptr);

// Names in the copy list's order: copy-files expanded over the names in the order given, as the
// installer expands it (plain items as written, patterns in that order, install.script and the
// uninstallers only as plain items, no name twice without regard to case).
std::vector<std::u16string> ExpandCopyList(const std::u16string& copyList, const std::vector<std::u16string>& names);

#endif
