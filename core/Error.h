// The exception family: every failure travels as one of these, thrown by value.
#ifndef LUMIVO_CORE_ERROR_H
#define LUMIVO_CORE_ERROR_H

#include <stdint.h>

// The program's own codes are negative; positive codes are Windows error codes.
enum : int32_t {
    ErrIndex = -2,
    ErrInternal = -3,
    ErrEof = -4,
    ErrTooLarge = -5,
    ErrCheck = -7,
    ErrCorrupted = -300,
    ErrOutOfMemory = 8,     // ERROR_NOT_ENOUGH_MEMORY
    ErrOutOfMemoryToo = 14, // ERROR_OUTOFMEMORY
};

// A code and an owned copy of one text (a file name, an entry name or a diagnostic), or none; for
// a failed system call also the call's name (a literal, never owned), which the log shows.
class Error {
public:
    explicit Error(int32_t code, const wchar_t* text = nullptr, const wchar_t* call = nullptr);
    // Copying never throws: should the copy of the text fail, the copy carries no text.
    Error(const Error& other) noexcept;
    Error& operator=(const Error& other);
    ~Error();

    int32_t code;
    wchar_t* text;
    const wchar_t* call;

    // Replaces the text with a copy of the given one (null clears it); MemoryError when out of memory.
    void setText(const wchar_t* newText);
};

struct InternalError : Error {
    InternalError() : Error(ErrInternal) {}
};
struct WinError : Error {
    explicit WinError(int32_t code, const wchar_t* name = nullptr, const wchar_t* call = nullptr)
        : Error(code, name, call)
    {
    }
};
struct IndexError : Error {
    IndexError() : Error(ErrIndex) {}
};
struct MemoryError : Error {
    MemoryError() noexcept : Error(ErrOutOfMemory) {}
};
struct EofError : Error {
    explicit EofError(const wchar_t* name) : Error(ErrEof, name) {}
};
struct CrcError : Error {
    explicit CrcError(const wchar_t* name) : Error(ErrCorrupted, name) {}
};
struct CheckFailed : Error {
    explicit CheckFailed(const wchar_t* diagnostic) : Error(ErrCheck, diagnostic) {}
};

// Unwinds a cancelled operation; not an Error, so Error handlers let it pass.
struct Abort {};

// A 64-bit length handed to a 32-bit parameter: the value, or CheckFailed "CheckInt(int64)".
int32_t CheckInt(int64_t value);

// Raises the code as the program does for failed Windows calls: MemoryError for codes 8 and 14,
// otherwise WinError with the code, the optional file name and the name of the call that failed
// (which is all there is to tell when the system gave no code).
[[noreturn]] void ThrowWinError(uint32_t code, const wchar_t* name = nullptr, const wchar_t* call = nullptr);

// ThrowWinError with GetLastError() (LastError.cpp: the one part of the errors bound to Windows).
[[noreturn]] void ThrowLastError(const wchar_t* name = nullptr, const wchar_t* call = nullptr);

#endif
