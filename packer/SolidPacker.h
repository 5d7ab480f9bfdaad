// Packing an archive with solid LZMA blocks: each block is the directory of its files and then
// their bytes, compressed as one LZMA stream at liblzma's preset 9 with a dictionary of up
// to 64 MiB by one thread; blocks go to jobs threads at once. The entries the installer reads at
// start-up become LZMA entries of their own (kind 2).
#ifndef LUMIVO_PACKER_SOLIDPACKER_H
#define LUMIVO_PACKER_SOLIDPACKER_H

#include "archive/ProgramCode.h"
#include "packer/EntryPacker.h"
#include "packer/SolidPlan.h"

#include <functional>
#include <stdint.h>
#include <vector>

class Progress;

enum : uint32_t { SolidDictionary = 64u << 20 };

// The archive's records in order: the name and time of each (a block's are "<solid block N>" and
// its newest file's time) and its stored bytes.
struct PackedArchive {
    std::vector<PayloadFile> records;
    std::vector<PackedEntry> entries;
};

// The first block starts from code, the setup program's (kind 8), when it is given: its first file,
// the uninstaller, shares most of its bytes.
PackedArchive PackSolidArchive(const std::vector<PayloadFile>& files, const SolidPlan& plan, int jobs,
                               Progress& progress, const ProgramCode& code);

// What a block's stream decodes to: its directory, then the bytes of each group's first file, as
// read gives them (ReadPayloadFile for files on disk). Refuses a block that would reach 2 GiB.
std::vector<uint8_t> SolidBlockContent(const std::vector<PayloadFile>& files, const std::vector<SolidGroup>& groups,
                                       const std::function<std::vector<uint8_t>(const PayloadFile&)>& read);

#endif
