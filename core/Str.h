// Str: one pointer to a counted, immutable block of UTF-16 text. Null is the empty string.
// Copying shares the block; every change builds a new block of exactly the needed length.
#ifndef LUMIVO_CORE_STR_H
#define LUMIVO_CORE_STR_H

#include <stddef.h>
#include <stdint.h>

// One heap block of exactly 2 * length + 16 bytes. A count of -1 marks a block that is
// never counted or freed.
struct StrBlock {
    int64_t length;
    int32_t count;
    wchar_t text[2]; // length units and a terminating zero
};

class Str {
public:
    Str() : block(nullptr) {}
    Str(const wchar_t* text);                 // zero-terminated; null gives the empty string
    Str(const wchar_t* text, int64_t length); // length units
    Str(const Str& other);
    Str(Str&& other) noexcept : block(other.block) { other.block = nullptr; }
    ~Str() { release(); }

    Str& operator=(const Str& other);
    Str& operator=(Str&& other) noexcept;
    Str& operator=(const wchar_t* text);

    // A new block of the given length for its creator to fill before anyone else sees it;
    // the terminator is already written.
    static Str Allocate(int64_t length);
    // A block that is never counted or freed (for texts that live as long as the program).
    static Str Permanent(const wchar_t* text);

    int64_t length() const { return block ? block->length : 0; }
    bool isEmpty() const { return !block || block->length == 0; }
    // Zero-terminated text; the static empty text for null.
    const wchar_t* text() const { return block ? block->text : L""; }
    // Writable units of a block that its creator has just allocated.
    wchar_t* bufferForFilling() { return block ? block->text : nullptr; }
    // The unit at index (IndexError outside 0 <= index < length).
    wchar_t at(int64_t index) const;
    // The shared count of the block, 0 for null (for tests and diagnostics).
    int32_t shareCount() const { return block ? block->count : 0; }
    bool sameBlock(const Str& other) const { return block == other.block; }

    void release();
    void append(const wchar_t* units, int64_t count);
    void append(const Str& other) { Str keep(other); append(keep.text(), keep.length()); }

    // Equal lengths and equal units, no case folding.
    bool operator==(const wchar_t* other) const;
    bool operator==(const Str& other) const;
    bool operator!=(const wchar_t* other) const { return !(*this == other); }

private:
    explicit Str(StrBlock* owned) : block(owned) {}
    // Accidental conversions from numbers or narrow characters do not compile.
    Str(int);
    Str(char);
    Str(const char*);
    Str& operator=(int);
    Str& operator=(char);

    StrBlock* block;
};

// One new block from two or three ranges of units.
Str Concat(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB);
Str Concat(const wchar_t* a, int64_t lengthA, const wchar_t* b, int64_t lengthB, const wchar_t* c,
           int64_t lengthC);
// One new block from zero-terminated texts; a null pointer counts as empty.
Str Concat(const wchar_t* a, const wchar_t* b, const wchar_t* c = nullptr);
Str Concat(const Str& a, const Str& b);
Str Concat(const Str& a, const Str& b, const Str& c);
// One new block from a null-terminated list of at most 16 zero-terminated texts
// (IndexError for more).
Str ConcatList(const wchar_t* const* pieces);

// Signed decimal text of a 64-bit integer.
Str IntToStr(int64_t value);
// The digits of value in base 10 or 16 (lower-case), with leading zeros up to width digits: what
// a "%0*u" or "%0*x" conversion gives, without the runtime's printf.
Str DigitsOf(uint64_t value, int base, int width);

// The "%g" text of a real number (6 significant digits) into a 50-unit buffer; returns its length.
int64_t RealToText(double value, wchar_t (&buffer)[50]);

// Copies zero-terminated text into a fixed buffer of capacity units; IndexError unless the text
// and its terminator fit.
void CopyTextToBuffer(const wchar_t* text, wchar_t* buffer, int64_t capacity);

// Length of zero-terminated text.
int64_t TextLength(const wchar_t* text);

#endif
