#include "packer/OutputBytes.h"

uint64_t AlignUp(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

void OutputBytes::borrow(const uint8_t* data, size_t length)
{
    if (length == 0)
        return;
    pieces.push_back(BytePiece{data, length});
    size += length;
}

uint8_t* OutputBytes::own(std::vector<uint8_t> block)
{
    owned.push_back(std::move(block));
    std::vector<uint8_t>& kept = owned.back();
    borrow(kept.data(), kept.size());
    return kept.data();
}

void OutputBytes::zeros(size_t count)
{
    if (count > 0)
        own(std::vector<uint8_t>(count, 0));
}

void OutputBytes::append(OutputBytes&& other)
{
    for (std::vector<uint8_t>& block : other.owned)
        owned.push_back(std::move(block));
    pieces.insert(pieces.end(), other.pieces.begin(), other.pieces.end());
    size += other.size;
    other = OutputBytes();
}

void OutputBytes::borrowAll(const OutputBytes& other)
{
    pieces.insert(pieces.end(), other.pieces.begin(), other.pieces.end());
    size += other.size;
}

void OutputBytes::alignTo(uint64_t alignment)
{
    zeros(static_cast<size_t>(AlignUp(size, alignment) - size));
}

std::vector<uint8_t> OutputBytes::joined() const
{
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(size));
    for (const BytePiece& piece : pieces)
        bytes.insert(bytes.end(), piece.data, piece.data + piece.size);
    return bytes;
}
