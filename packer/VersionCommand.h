// lumivo-pack --version: what this packer is and what it builds from.
#ifndef LUMIVO_PACKER_VERSIONCOMMAND_H
#define LUMIVO_PACKER_VERSIONCOMMAND_H

#include <string>

// "lumivo-pack VERSION", the libdeflate version, and the default stub with its SHA-256 (or why
// it cannot be read), one per line.
std::string VersionText();

#endif
