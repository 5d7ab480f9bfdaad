// Just enough of the PE format to check an installer stub and to find the archive resource of a
// built setup program: the headers, the section table and the resource directory.
#ifndef LUMIVO_PACKER_PEIMAGE_H
#define LUMIVO_PACKER_PEIMAGE_H

#include <stddef.h>
#include <stdint.h>

// Whether the bytes start with a DOS header whose PE header (signature, file header and optional
// header of a 32- or 64-bit image) lies inside them.
bool IsPeImage(const uint8_t* bytes, size_t size);

// The file range of the first language of resource (type, id), as FindResourceW would find it.
// False when the image has no such resource or its directory points outside the file.
bool FindPeResource(const uint8_t* bytes, size_t size, uint32_t type, uint32_t id, size_t& offset,
                    size_t& length);

enum : uint32_t { ResourceTypeRcData = 10, ArchiveResourceId = 103 };

#endif
