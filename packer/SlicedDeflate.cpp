#include "packer/SlicedDeflate.h"

#include "packer/PackError.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <string>

namespace {

struct Inflater {
    z_stream stream;
    Inflater()
    {
        std::memset(&stream, 0, sizeof stream);
        if (inflateInit2(&stream, -15) != Z_OK)
            Fail("out of memory");
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() { inflateEnd(&stream); }
};

// Clears the final bit of a complete raw deflate stream of size bytes and ends it on a byte
// boundary. zlib's inflate, stopping at each block's end, tells where the last block began (its
// first bit is the final bit) and how many bits of the last byte it left unused.
void EndOnByteBoundary(std::vector<uint8_t>& deflate, size_t size)
{
    Inflater inflater;
    z_stream& s = inflater.stream;
    s.next_in = deflate.data();
    s.avail_in = static_cast<uInt>(deflate.size());
    std::vector<uint8_t> junk(64 << 10);
    uint64_t produced = 0, blockStart = 0;
    for (;;) {
        s.next_out = junk.data();
        s.avail_out = static_cast<uInt>(junk.size());
        int result = inflate(&s, Z_BLOCK);
        produced += junk.size() - s.avail_out;
        if (result != Z_OK)
            Fail("a compressed slice does not decode (zlib " + std::to_string(result) + ")");
        if (!(s.data_type & 128))
            continue;
        // At the end of a block: the next bit is where the next block would begin.
        uint64_t used = static_cast<uint64_t>(s.next_in - deflate.data());
        uint64_t boundary = used * 8 - (s.data_type & 7);
        if (s.data_type & 64) { // the block that just ended was the final one
            if (used != deflate.size() || produced != size)
                Fail("a compressed slice does not end where it should");
            deflate[blockStart / 8] &= static_cast<uint8_t>(~(1u << (blockStart % 8)));
            int unused = s.data_type & 7;
            if (unused > 0) {
                deflate.back() &= static_cast<uint8_t>((1u << (8 - unused)) - 1);
                // An empty stored block: three header bits (not final, stored), then to the byte's
                // end, then the lengths 0 and its complement.
                if (unused < 3)
                    deflate.push_back(0);
                for (uint8_t byte : {0x00, 0x00, 0xFF, 0xFF})
                    deflate.push_back(byte);
            }
            return;
        }
        blockStart = boundary;
    }
}

} // namespace

size_t SliceCount(size_t size, size_t sliceSize)
{
    return size == 0 ? 1 : (size + sliceSize - 1) / sliceSize;
}

std::vector<uint8_t> DeflateSlice(libdeflate_compressor* compressor, const uint8_t* bytes, size_t size, bool last)
{
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor, size));
    size_t packed = libdeflate_deflate_compress(compressor, bytes, size, out.data(), out.size());
    if (packed == 0)
        Fail("a slice does not fit its bound");
    out.resize(packed);
    if (!last)
        EndOnByteBoundary(out, size);
    return out;
}

std::vector<uint8_t> JoinSlices(const std::vector<std::vector<uint8_t>>& slices, const uint8_t* bytes, size_t size)
{
    size_t total = 2 + 4;
    for (const std::vector<uint8_t>& slice : slices)
        total += slice.size();
    std::vector<uint8_t> stream;
    stream.reserve(total);
    // 32 KiB window, deflate, the strongest level's flag; the header's check makes it a multiple of 31.
    stream.push_back(0x78);
    stream.push_back(0xDA);
    for (const std::vector<uint8_t>& slice : slices)
        stream.insert(stream.end(), slice.begin(), slice.end());
    uint32_t adler = libdeflate_adler32(1, bytes, size);
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<uint8_t>(adler >> shift));
    return stream;
}

std::vector<uint8_t> DeflateSliced(libdeflate_compressor* compressor, const uint8_t* bytes, size_t size,
                                   size_t sliceSize)
{
    size_t count = SliceCount(size, sliceSize);
    std::vector<std::vector<uint8_t>> slices(count);
    for (size_t i = 0; i < count; i++) {
        size_t start = i * sliceSize;
        size_t length = i + 1 < count ? sliceSize : size - start;
        slices[i] = DeflateSlice(compressor, bytes + start, length, i + 1 == count);
    }
    return JoinSlices(slices, bytes, size);
}
