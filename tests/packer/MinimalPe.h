// Small PE images for the packer's tests: a 64-bit image with one resource section, optionally
// holding an RCDATA resource 103.
#ifndef LUMIVO_TESTS_MINIMALPE_H
#define LUMIVO_TESTS_MINIMALPE_H

#include <stdint.h>
#include <string>
#include <vector>

// A valid image header with a resource directory; with resource103 the directory holds it as
// RCDATA 103 (language 1033), else an RCDATA resource 104.
std::vector<uint8_t> MinimalPe(const std::string* resource103 = nullptr);

#endif
