// The version information of a setup program (what Explorer shows under Properties, Details):
// a VS_VERSIONINFO resource built from install.script.
#ifndef LUMIVO_PACKER_VERSIONINFO_H
#define LUMIVO_PACKER_VERSIONINFO_H

#include <array>
#include <stdint.h>
#include <string>
#include <vector>

struct VersionStrings {
    std::u16string productName, fileDescription, companyName, legalCopyright, version, originalFilename;
};

// The leading dotted numbers of a version text, up to four, each from 0 to 65535; the fields that
// the text does not give are 0 ("2.1-beta" gives 2.1.0.0, "v2" gives 0.0.0.0).
std::array<uint16_t, 4> VersionNumbers(const std::u16string& version);

// The resource's bytes: the fixed part with the numbers of version as file and product version,
// then one US English string table (code page 1200) holding the strings that are not empty.
std::vector<uint8_t> VersionInfoResource(const VersionStrings& strings);

#endif
