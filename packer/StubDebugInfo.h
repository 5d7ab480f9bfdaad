// Debugging information in an installer stub. An unstripped build carries sections for debuggers
// (.debug_*, discardable, behind the resources and the base relocations) and a COFF symbol table
// with their long names behind its last section. The loader reads neither, so the packer leaves both out: such a stub then carries
// an archive in either layout, as its stripped build would.
#ifndef LUMIVO_PACKER_STUBDEBUGINFO_H
#define LUMIVO_PACKER_STUBDEBUGINFO_H

#include <stdint.h>
#include <vector>

// The stub without its debugging sections and symbol table. Unchanged when it has none, or when a
// data directory points into such a section or other bytes lie behind them (the usual checks then
// name what is wrong). PeFormatError when the bytes are not a PE image.
std::vector<uint8_t> WithoutDebugInfo(std::vector<uint8_t> stub);

#endif
