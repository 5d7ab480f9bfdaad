#include "core/Str.h"

#include "core/Error.h"

#include <stdlib.h>
#include <string.h>

static StrBlock* NewBlock(int64_t length)
{
    if (length < 0)
        throw IndexError();
    if (length > (INT64_MAX - 16) / 2)
        throw MemoryError();
    StrBlock* block = static_cast<StrBlock*>(malloc(static_cast<size_t>(2 * length + 16)));
    if (!block)
        throw MemoryError();
    block->length = length;
    block->count = 1;
    wchar_t* units = block->text; // the text runs past the declared two units
    units[length] = 0;
    return block;
}

static void Share(StrBlock* block)
{
    if (block && block->count != -1)
        block->count++;
}

static void Drop(StrBlock* block)
{
    if (block && block->count != -1 && --block->count == 0)
        free(block);
}

int64_t TextLength(const wchar_t* text)
{
    int64_t length = 0;
    if (text)
        while (text[length])
            length++;
    return length;
}

Str::Str(const wchar_t* text) : Str(text, TextLength(text)) {}

Str::Str(const wchar_t* text, int64_t length) : block(nullptr)
{
    if (length > 0 && !text)
        throw IndexError();
    StrBlock* fresh = NewBlock(length);
    if (length)
        memcpy(fresh->text, text, static_cast<size_t>(length) * 2);
    block = fresh;
}

Str::Str(const Str& other) : block(other.block)
{
    Share(block);
}

Str& Str::operator=(const Str& other)
{
    Share(other.block); // first, so that self-assignment is safe
    Drop(block);
    block = other.block;
    return *this;
}

Str& Str::operator=(Str&& other) noexcept
{
    if (this != &other) {
        Drop(block);
        block = other.block;
        other.block = nullptr;
    }
    return *this;
}

Str& Str::operator=(const wchar_t* text)
{
    Str fresh(text);
    return *this = static_cast<Str&&>(fresh);
}

Str Str::Allocate(int64_t length)
{
    return Str(NewBlock(length));
}

Str Str::Permanent(const wchar_t* text)
{
    Str fresh(text);
    fresh.block->count = -1;
    return fresh;
}

wchar_t Str::at(int64_t index) const
{
    if (index < 0 || index >= length())
        throw IndexError();
    const wchar_t* units = block->text;
    return units[index];
}

void Str::release()
{
    Drop(block);
    block = nullptr;
}

void Str::append(const wchar_t* units, int64_t count)
{
    if (count < 0)
        throw IndexError();
    *this = Concat(text(), length(), units, count);
}

bool Str::operator==(const wchar_t* other) const
{
    int64_t otherLength = TextLength(other);
    return otherLength == length() && memcmp(text(), other ? other : L"", otherLength * 2) == 0;
}

bool Str::operator==(const Str& other) const
{
    return other.length() == length() && memcmp(text(), other.text(), length() * 2) == 0;
}

Str Concat(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB)
{
    return Concat(a, lengthA, b, lengthB, nullptr, 0);
}

Str Concat(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB, const wchar_t* c,
           int64_t lengthC)
{
    if (lengthA < 0 || lengthB < 0 || lengthC < 0)
        throw IndexError();
    if (lengthA > INT64_MAX / 4 || lengthB > INT64_MAX / 4 || lengthC > INT64_MAX / 4)
        throw MemoryError();
    Str result = Str::Allocate(lengthA + lengthB + lengthC);
    wchar_t* out = result.bufferForFilling();
    if (lengthA)
        memcpy(out, a, lengthA * 2);
    if (lengthB)
        memcpy(out + lengthA, b, lengthB * 2);
    if (lengthC)
        memcpy(out + lengthA + lengthB, c, lengthC * 2);
    return result;
}

Str Concat(const wchar_t* a, const wchar_t* b, const wchar_t* c)
{
    return Concat(a, TextLength(a), b, TextLength(b), c, TextLength(c));
}

Str Concat(const Str& a, const Str& b)
{
    return Concat(a.text(), a.length(), b.text(), b.length(), nullptr, 0);
}

Str Concat(const Str& a, const Str& b, const Str& c)
{
    return Concat(a.text(), a.length(), b.text(), b.length(), c.text(), c.length());
}

Str ConcatList(const wchar_t* const* pieces)
{
    int count = 0;
    int64_t total = 0;
    for (; pieces[count]; count++) {
        if (count == 16)
            throw IndexError();
        total += TextLength(pieces[count]);
    }
    Str result = Str::Allocate(total);
    wchar_t* out = result.bufferForFilling();
    for (int i = 0; i < count; i++) {
        int64_t length = TextLength(pieces[i]);
        memcpy(out, pieces[i], length * 2);
        out += length;
    }
    return result;
}

Str IntToStr(int64_t value)
{
    wchar_t digits[24];
    int position = 24;
    // Work with the negative value so that INT64_MIN needs no special case.
    int64_t rest = value < 0 ? value : -value;
    do {
        digits[--position] = static_cast<wchar_t>(L'0' - rest % 10);
        rest /= 10;
    } while (rest);
    if (value < 0)
        digits[--position] = L'-';
    return Str(digits + position, 24 - position);
}

Str DigitsOf(uint64_t value, int base, int width)
{
    wchar_t digits[64];
    int position = 64;
    do {
        digits[--position] = L"0123456789abcdef"[value % base];
        value /= base;
    } while (value && position > 0);
    while (64 - position < width && position > 0)
        digits[--position] = L'0';
    return Str(digits + position, 64 - position);
}

void CopyTextToBuffer(const wchar_t* text, wchar_t* buffer, int64_t capacity)
{
    int64_t length = TextLength(text);
    if (length >= capacity)
        throw IndexError();
    memcpy(buffer, text ? text : L"", (length + 1) * 2);
}
