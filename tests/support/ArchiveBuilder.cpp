#include "support/ArchiveBuilder.h"

#include "archive/ArchiveFormat.h"

#include <stdexcept>
#include <zlib.h>

std::string RecordWithCrc(const std::u16string& name, uint32_t kind, const std::string& stored, int32_t size,
                          uint32_t crc, uint64_t time)
{
    std::string record(RecordHeaderSize, '\0');
    WriteRecordHeader(reinterpret_cast<uint8_t*>(&record[0]), kind, static_cast<int32_t>(stored.size()), size, crc,
                      time, static_cast<int32_t>(name.size()));
    for (char16_t unit : name) {
        record += static_cast<char>(unit & 0xFF);
        record += static_cast<char>(unit >> 8);
    }
    return record + stored;
}

std::string Record(const std::u16string& name, uint32_t kind, const std::string& stored, int32_t size,
                   uint64_t time)
{
    return RecordWithCrc(name, kind, stored, size, Crc32(Bytes(stored), static_cast<int64_t>(stored.size())),
                         time);
}

std::string RawRecord(const std::u16string& name, const std::string& data, uint64_t time)
{
    return Record(name, EntryKindZlib, data, static_cast<int32_t>(data.size()), time);
}

std::string ZlibRecord(const std::u16string& name, const std::string& data, uint64_t time)
{
    return Record(name, EntryKindZlib, ZlibOf(data), static_cast<int32_t>(data.size()), time);
}

std::string EndRecord()
{
    std::string end(RecordHeaderSize, '\0');
    WriteEndRecord(reinterpret_cast<uint8_t*>(&end[0]));
    return end;
}

static std::string Deflated(const std::string& data, int windowBits)
{
    z_stream stream = {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

std::string ZlibOf(const std::string& data)
{
    return Deflated(data, 15);
}

std::string GzipOf(const std::string& data)
{
    return Deflated(data, 31);
}

std::string Trailer(uint32_t offset, uint32_t length, uint32_t trailerOffset, uint32_t magic)
{
    std::string trailer(TrailerSize, '\0');
    ArchiveTrailer fields = {magic, offset, length, trailerOffset};
    WriteTrailer(reinterpret_cast<uint8_t*>(&trailer[0]), fields);
    return trailer;
}

std::string Appended(const std::string& program, const std::string& archive)
{
    return program + archive +
           Trailer(static_cast<uint32_t>(program.size()), static_cast<uint32_t>(archive.size()),
                   static_cast<uint32_t>(program.size() + archive.size()));
}
