// File: the program's one way to read and write files. A value that shares one counted FileState
// (handle, name for error messages, optional buffer). Every failure of a Windows file call becomes
// a WinError that names the file.
#ifndef LUMIVO_CORE_FILE_H
#define LUMIVO_CORE_FILE_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct FileState {
    int32_t count;
    bool failed; // a failed file refuses reads and writes and is not flushed on close
    Str name;
    void* handle; // INVALID_HANDLE_VALUE when closed
    int32_t mode; // 0 reading, 2 writing
    int64_t position; // file offset of the buffer's first byte
    ByteArray buffer; // null for an unbuffered file
    int32_t filled;   // reading: valid bytes in the buffer
    int32_t used;     // reading: bytes handed out; writing: bytes waiting
};

enum FileMode : int32_t { FileRead = 0, FileWrite = 2 };

class File {
public:
    File() : state(nullptr), encoding(0), lineBreaks(false) {}
    File(const File& other);
    File& operator=(const File& other);
    ~File() { release(); }

    // Closes what the File held, then opens name: FileRead opens an existing file (a second try
    // with delete sharing when it is held by another program), FileWrite creates or truncates it.
    // bufferSize: bytes when positive, KiB when negative, 0 for none.
    void open(const Str& name, int32_t mode, int32_t bufferSize);
    bool isOpen() const;
    bool isFailed() const { return state && state->failed; }
    const Str& name() const;

    int64_t size();
    // Bytes read; fewer than count only at the end of the file.
    int64_t read(void* destination, int64_t count);
    void write(const void* source, int64_t count);
    // Flushes a write buffer (unless the file failed) and closes the handle.
    void close();
    // Lets go of the shared state: the last holder closes the handle without flushing.
    void release();

    FileState* state;
    int32_t encoding; // for TextWriter: 0 UTF-8, 1 UTF-16LE, 2 UTF-16BE, 3 one byte
    bool lineBreaks;  // for TextWriter: write each line feed as CR LF

private:
    void checkUsable() const;
    void flush();
    [[noreturn]] void fail(uint32_t code, const wchar_t* call);
};

#endif
