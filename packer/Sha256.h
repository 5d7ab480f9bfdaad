// SHA-256, for the identity of the stub that lumivo-pack builds from.
#ifndef LUMIVO_PACKER_SHA256_H
#define LUMIVO_PACKER_SHA256_H

#include <stddef.h>
#include <stdint.h>
#include <string>

// The digest of the bytes in lower-case hexadecimal, as sha256sum prints it.
std::string Sha256Hex(const uint8_t* bytes, size_t size);

#endif
