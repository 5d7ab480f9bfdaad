#include "core/Error.h"

#include "core/Str.h"

#include <stdlib.h>
#include <string.h>

static wchar_t* CopyText(const wchar_t* text)
{
    if (!text)
        return nullptr;
    size_t bytes = static_cast<size_t>(TextLength(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = static_cast<wchar_t*>(malloc(bytes));
    if (copy)
        memcpy(copy, text, bytes);
    return copy;
}

Error::Error(int32_t code, const wchar_t* text, const wchar_t* call) : code(code), text(nullptr), call(call)
{
    setText(text);
}

Error::Error(const Error& other) noexcept : code(other.code), text(CopyText(other.text)), call(other.call) {}

Error& Error::operator=(const Error& other)
{
    if (this != &other) {
        setText(other.text);
        code = other.code;
        call = other.call;
    }
    return *this;
}

Error::~Error()
{
    free(text);
}

void Error::setText(const wchar_t* newText)
{
    wchar_t* copy = nullptr;
    if (newText) {
        copy = CopyText(newText);
        if (!copy)
            throw MemoryError();
    }
    free(text);
    text = copy;
}

int32_t CheckInt(int64_t value)
{
    if (value < INT32_MIN || value > INT32_MAX)
        throw CheckFailed(L"CheckInt(int64)");
    return static_cast<int32_t>(value);
}

void ThrowWinError(uint32_t code, const wchar_t* name, const wchar_t* call)
{
    if (code == static_cast<uint32_t>(ErrOutOfMemory) || code == static_cast<uint32_t>(ErrOutOfMemoryToo))
        throw MemoryError();
    throw WinError(static_cast<int32_t>(code), name, call);
}
