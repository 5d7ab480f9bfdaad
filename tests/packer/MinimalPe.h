// Small PE images for the packer's tests, laid out as the linker lays out the stub: a code
// section, the resource section, then the base relocations. The resource directory is written
// by hand, not by the packer's own writer.
#ifndef LUMIVO_TESTS_MINIMALPE_H
#define LUMIVO_TESTS_MINIMALPE_H

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// A valid 64-bit image; with resource103 its resources hold it as RCDATA 103 (language 1033),
// else an RCDATA resource 104 holding "other resource".
std::vector<uint8_t> MinimalPe(const std::string* resource103 = nullptr);

// The image as an unstripped build has it: a discardable section for debuggers behind the base
// relocations (".debug_info", named "/4" through the string table), then the symbol table and its strings.
std::vector<uint8_t> WithDebugInfo(const std::vector<uint8_t>& image);

// Where MinimalPe puts things.
enum : size_t {
    MinimalPeHeader = 0x40,         // "PE\0\0"
    MinimalPeSections = 0x40 + 264, // the section table: .text, .rsrc, .reloc
    MinimalPeResources = 0x400,     // the resource directory in the file
};

#endif
