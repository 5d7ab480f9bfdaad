// Archives built by hand in tests: records with any kind, sizes, CRC and name, and trailers.
// Every function returns the bytes of one piece; an archive is the pieces joined.
#ifndef LUMIVO_TESTS_ARCHIVEBUILDER_H
#define LUMIVO_TESTS_ARCHIVEBUILDER_H

#include <stdint.h>
#include <string>

// A record storing the given bytes; the CRC is computed from them.
std::string Record(const std::u16string& name, uint32_t kind, const std::string& stored, int32_t size,
                   uint64_t time = 0);
// A record with an explicit CRC.
std::string RecordWithCrc(const std::u16string& name, uint32_t kind, const std::string& stored, int32_t size,
                          uint32_t crc, uint64_t time = 0);
// The file stored raw (packed size equals size).
std::string RawRecord(const std::u16string& name, const std::string& data, uint64_t time = 0);
// The file as one zlib stream at level 9 (kind 1).
std::string ZlibRecord(const std::u16string& name, const std::string& data, uint64_t time = 0);
std::string EndRecord();

std::string ZlibOf(const std::string& data);
std::string GzipOf(const std::string& data);

std::string Trailer(uint32_t offset, uint32_t length, uint32_t trailerOffset, uint32_t magic = 0x5C9F3A6E);
// program + archive + a correct trailer.
std::string Appended(const std::string& program, const std::string& archive);

inline const uint8_t* Bytes(const std::string& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

#endif
