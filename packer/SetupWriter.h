// Writing a setup program: the stub, the archive's records and end record, and the trailer that
// finds them, through a temporary file that is renamed only when it is complete.
#ifndef LUMIVO_PACKER_SETUPWRITER_H
#define LUMIVO_PACKER_SETUPWRITER_H

#include "packer/EntryPacker.h"
#include "packer/PayloadFiles.h"

#include <filesystem>
#include <stdint.h>
#include <vector>

// Bytes of the archive of these entries, end record included.
uint64_t ArchiveLength(const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries);

// Refuses an archive whose length or position does not fit the trailer's 32-bit fields and the
// installer's signed 32-bit length, naming the output.
void CheckArchiveFits(const std::filesystem::path& output, uint64_t stubSize, uint64_t archiveLength);

// Writes output + a temporary suffix, then renames it to output. On any failure the temporary
// file is removed and an existing output stays as it was.
void WriteSetup(const std::filesystem::path& output, const std::vector<uint8_t>& stub,
                const std::vector<PayloadFile>& files, const std::vector<PackedEntry>& entries);

#endif
