// A setup program's code as the first solid block's dictionary (records of kind 8): the block's
// stream is compressed as if the program's code and constant tables had come just before it, so
// that the uninstaller, which shares most of them, costs a fraction of its size.
//
// The code is the program's read-only sections that come before its resources, in table order,
// each as long as the smaller of its size in memory and in the file, with the bytes of every
// address the loader relocates set to zero. So it is the same whether it is read from the packer's
// stub, from the setup program it becomes (packing rebuilds only the resources and what follows
// them; signing changes header fields and adds a certificate at the end), or from the running
// installer's own image: the installer never reads it from its file, which could have been
// swapped since it started. Portable, like the rest of the byte format.
#ifndef LUMIVO_ARCHIVE_PROGRAMCODE_H
#define LUMIVO_ARCHIVE_PROGRAMCODE_H

#include <stdint.h>

enum : int32_t { MaxProgramCode = 16 << 20 }; // a larger code is not taken: readers hold it in memory

struct ProgramCode {
    const uint8_t* bytes; // null: none
    int32_t length;
};

// A PE image: its bytes as a file holds them, or as the loader maps them (each section at its
// address; then no more than its SizeOfImage is read, whatever length says).
struct ProgramImage {
    const uint8_t* bytes;
    int64_t length;
    bool mapped;
};

// How long the image's code is; 0 when it has none: no PE image, no resources after its other
// sections, no read-only section before them, a code above MaxProgramCode, or a section or
// relocation that does not lie where the image says.
int32_t ProgramCodeLength(const ProgramImage& image);
// The code into out, ProgramCodeLength(image) bytes.
void CopyProgramCode(const ProgramImage& image, uint8_t* out);

#endif
