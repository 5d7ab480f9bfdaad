// Counted growable arrays. A handle is one pointer to a 32-byte header; copying a handle shares
// the array and changes are made in place. Two storage styles:
//  - separate: the header is its own block and the elements lie in a second block; growing
//    replaces only the element block, so every holder sees the change;
//  - inline: header and elements share one block; growing gives the growing holder a new block
//    and leaves the old one to the other holders.
// Elements are moved with memmove: every element type here is trivially relocatable.
#ifndef LUMIVO_CORE_ARRAY_H
#define LUMIVO_CORE_ARRAY_H

#include "core/Error.h"
#include "core/Str.h"

#include <new>
#include <stdint.h>
#include <string.h>
#include <type_traits>

struct ArrayHeader {
    void* data;
    int64_t length;
    int64_t capacity;
    int32_t count;
};
static_assert(sizeof(ArrayHeader) == 32, "the header is 32 bytes");

// The growth rule: for needed elements of elementSize bytes, the capacity to allocate and the
// byte size of the block (header included for inline storage). MemoryError on overflow.
struct ArrayGrowth {
    int64_t capacity;
    int64_t blockBytes;
};
ArrayGrowth ComputeArrayGrowth(int64_t needed, int64_t elementSize, bool inlineStorage, int divisor);

// Zero-filled heap block, or MemoryError.
void* AllocateZeroed(int64_t bytes);
// Heap block with unspecified content, or MemoryError: for room that is about to be overwritten.
void* AllocateBlock(int64_t bytes);
void FreeBlock(void* block);

template <class T, bool InlineStorage, int Divisor>
class Array {
    static_assert(!InlineStorage || std::is_trivially_copyable<T>::value,
                  "inline arrays hold plain values: their blocks are copied bytewise");

public:
    Array() : header(nullptr) {}
    Array(const Array& other) : header(other.header)
    {
        if (header)
            header->count++;
    }
    Array(Array&& other) noexcept : header(other.header) { other.header = nullptr; }
    ~Array() { release(); }

    Array& operator=(const Array& other)
    {
        if (other.header)
            other.header->count++;
        release();
        header = other.header;
        return *this;
    }
    Array& operator=(Array&& other) noexcept
    {
        if (this != &other) {
            release();
            header = other.header;
            other.header = nullptr;
        }
        return *this;
    }

    // Replaces what the handle held by a new empty array of its own.
    void makeEmpty()
    {
        ArrayHeader* fresh = NewHeader();
        release();
        header = fresh;
    }

    void release()
    {
        ArrayHeader* old = header;
        header = nullptr;
        if (old && --old->count == 0) {
            T* items = static_cast<T*>(old->data);
            for (int64_t i = old->length - 1; i >= 0; i--)
                items[i].~T();
            if (!InlineStorage)
                FreeBlock(old->data);
            FreeBlock(old);
        }
    }

    int64_t length() const { return header ? header->length : 0; }
    int64_t capacity() const { return header ? header->capacity : 0; }
    bool isNull() const { return !header; }
    int32_t shareCount() const { return header ? header->count : 0; }
    bool sameArray(const Array& other) const { return header == other.header; }

    // The elements in place; null for an empty handle. Valid until the next change.
    T* items() { return header ? static_cast<T*>(header->data) : nullptr; }
    const T* items() const { return header ? static_cast<const T*>(header->data) : nullptr; }

    // The element at index (a shared copy for Str elements); IndexError outside the array.
    T at(int64_t index) const { return ref(index); }
    const T& ref(int64_t index) const
    {
        if (index < 0 || index >= length())
            throw IndexError();
        return items()[index];
    }
    T& ref(int64_t index)
    {
        if (index < 0 || index >= length())
            throw IndexError();
        return items()[index];
    }

    // Inserts count elements copied from source at index (0 <= index <= length). The source may
    // lie inside this array.
    void insert(int64_t index, const T* source, int64_t count, int divisor = Divisor)
    {
        checkInsert(index, count);
        if (count == 0)
            return;
        if (length() + count > capacity()) {
            regrow(index, source, count, divisor);
            return;
        }
        T* data = items();
        const T* begin = data;
        const T* end = data + header->length;
        bool inside = source >= begin && source < end;
        memmove(static_cast<void*>(data + index + count), data + index,
                static_cast<size_t>(header->length - index) * sizeof(T));
        for (int64_t i = 0; i < count; i++) {
            const T* from = source + i;
            if (inside && from >= begin + index)
                from += count; // read from its moved position
            new (data + index + i) T(*from);
        }
        header->length += count;
    }
    void append(const T& value) { insert(length(), &value, 1); }
    void append(const T* source, int64_t count) { insert(length(), source, count); }

    // Inserts count elements without giving them values (plain element types only): their
    // content is unspecified, zero only when the array had to grow.
    void insertUninitialized(int64_t index, int64_t count, int divisor = Divisor)
    {
        static_assert(std::is_trivially_copyable<T>::value, "plain elements only");
        checkInsert(index, count);
        if (count == 0)
            return;
        if (length() + count > capacity()) {
            regrow(index, nullptr, count, divisor);
            return;
        }
        T* data = items();
        memmove(static_cast<void*>(data + index + count), data + index,
                static_cast<size_t>(header->length - index) * sizeof(T));
        header->length += count;
    }

    // Removes count elements at index (index + count <= length); later elements move down.
    void remove(int64_t index, int64_t count)
    {
        if (index < 0 || count < 0 || index > length() - count)
            throw IndexError();
        if (count == 0)
            return;
        T* data = items();
        for (int64_t i = 0; i < count; i++)
            data[index + i].~T();
        memmove(static_cast<void*>(data + index), data + index + count,
                static_cast<size_t>(header->length - index - count) * sizeof(T));
        header->length -= count;
    }

    // Grows (unspecified content) or truncates to size elements; IndexError for a negative size.
    void resize(int64_t size)
    {
        if (size < 0)
            throw IndexError();
        if (size > length())
            insertUninitialized(length(), size - length());
        else if (size < length())
            remove(size, length() - size);
    }

    // Grows to size elements without clearing the new room, even when the array grows (plain
    // element types only): for room that the caller fills at once, such as an unpacked file.
    void resizeForFilling(int64_t size)
    {
        static_assert(std::is_trivially_copyable<T>::value, "plain elements only");
        if (size <= length()) {
            resize(size);
            return;
        }
        int64_t count = size - length();
        if (size > capacity())
            regrow(length(), nullptr, count, Divisor, false);
        else
            header->length = size;
    }

private:
    void checkInsert(int64_t index, int64_t count) const
    {
        if (index < 0 || index > length() || count < 0)
            throw IndexError();
    }

    // An empty header: for inline storage the (absent) elements would follow it.
    static ArrayHeader* NewHeader()
    {
        ArrayHeader* fresh = static_cast<ArrayHeader*>(AllocateZeroed(sizeof(ArrayHeader)));
        if (InlineStorage)
            fresh->data = fresh + 1;
        fresh->count = 1;
        return fresh;
    }

    // Reallocates for length + count elements and puts the new ones (copies of source, or zeros
    // when source is null, or uncleared room when clear is false) at index. Nothing changes when
    // an allocation fails.
    void regrow(int64_t index, const T* source, int64_t count, int divisor, bool clear = true)
    {
        int64_t oldLength = length();
        ArrayGrowth growth = ComputeArrayGrowth(oldLength + count, sizeof(T), InlineStorage, divisor);
        ArrayHeader* target = header;
        ArrayHeader* freshHeader = nullptr;
        void* block = clear ? AllocateZeroed(growth.blockBytes) : AllocateBlock(growth.blockBytes);
        T* fresh;
        if (InlineStorage) {
            freshHeader = static_cast<ArrayHeader*>(block);
            freshHeader->data = freshHeader + 1;
            freshHeader->count = 1;
            fresh = static_cast<T*>(freshHeader->data);
        } else {
            if (!target) {
                try {
                    target = NewHeader();
                } catch (...) {
                    FreeBlock(block);
                    throw;
                }
            }
            fresh = static_cast<T*>(block);
        }
        T* old = items();
        if (index)
            memcpy(static_cast<void*>(fresh), old, static_cast<size_t>(index) * sizeof(T));
        if (source)
            for (int64_t i = 0; i < count; i++)
                new (fresh + index + i) T(source[i]); // the source still lies in the old block
        if (oldLength > index)
            memcpy(static_cast<void*>(fresh + index + count), old + index,
                   static_cast<size_t>(oldLength - index) * sizeof(T));

        if (InlineStorage) {
            freshHeader->length = oldLength + count;
            freshHeader->capacity = growth.capacity;
            // Other holders keep the old block; its plain elements need no release.
            if (header && --header->count == 0)
                FreeBlock(header);
            header = freshHeader;
        } else {
            FreeBlock(target->data); // elements were moved, not copied: no release
            target->data = fresh;
            target->length = oldLength + count;
            target->capacity = growth.capacity;
            header = target;
        }
    }

    ArrayHeader* header;
};

typedef Array<Str, false, 4> StrArray;
typedef Array<uint8_t, true, 128> ByteArray;
typedef Array<void*, true, 4> PtrArray;

// UTF-16 units used as a writable text buffer: text grows by a quarter at a time, room that is
// reserved with zero units stays tight.
class CharBuffer : public Array<wchar_t, true, 4> {
public:
    // Appends units of text.
    void appendText(const wchar_t* text, int64_t count) { insert(length(), text, count, 4); }
    // Appends count zero units (room for a system call to fill).
    void reserveZeros(int64_t count);
    wchar_t* text() { return items(); }
};

#endif
