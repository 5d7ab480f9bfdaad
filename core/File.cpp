#include "core/File.h"

#include "core/Error.h"

#include <windows.h>

#include <string.h>

static void DropState(FileState* state)
{
    if (state && --state->count == 0) {
        if (state->handle != INVALID_HANDLE_VALUE)
            CloseHandle(state->handle);
        delete state;
    }
}

File::File(const File& other) : state(other.state), encoding(other.encoding), lineBreaks(other.lineBreaks)
{
    if (state)
        state->count++;
}

File& File::operator=(const File& other)
{
    if (other.state)
        other.state->count++;
    DropState(state);
    state = other.state;
    encoding = other.encoding;
    lineBreaks = other.lineBreaks;
    return *this;
}

void File::release()
{
    FileState* old = state;
    state = nullptr;
    DropState(old);
}

bool File::isOpen() const
{
    return state && state->handle != INVALID_HANDLE_VALUE;
}

// A namespace-level value rather than a function's static: no guard for its first use, and with
// it none of the runtime's thread machinery.
static const Str NoName;

const Str& File::name() const
{
    return state ? state->name : NoName;
}

void File::open(const Str& name, int32_t mode, int32_t bufferSize)
{
    if (state) {
        try {
            close();
        } catch (const Error&) {
            // the old file's failure does not stop the new open
        }
        release();
    }
    if (mode < 0 || mode > 2)
        throw InternalError();

    FileState* fresh = new (std::nothrow) FileState();
    if (!fresh)
        throw MemoryError();
    fresh->count = 1;
    fresh->handle = INVALID_HANDLE_VALUE;
    try {
        bool reading = mode != FileWrite;
        fresh->mode = reading ? FileRead : FileWrite;
        DWORD access = reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
        DWORD share = reading ? FILE_SHARE_READ : 0;
        DWORD disposition = reading ? OPEN_EXISTING : CREATE_ALWAYS;
        int64_t bytes = bufferSize < 0 ? -static_cast<int64_t>(bufferSize) * 1024 : bufferSize;
        if (bytes > 0) {
            fresh->buffer.resize(CheckInt(bytes));
        }
        fresh->name = name;

        HANDLE handle = CreateFileW(name.text(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && reading) {
            DWORD code = GetLastError();
            if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
                handle = CreateFileW(name.text(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (handle == INVALID_HANDLE_VALUE)
            ThrowLastError(name.text(), L"CreateFileW");
        fresh->handle = handle;
    } catch (const Error&) {
        DropState(fresh);
        throw;
    }
    state = fresh;
}

void File::checkUsable() const
{
    if (!state || state->failed || state->handle == INVALID_HANDLE_VALUE)
        throw InternalError();
}

void File::fail(uint32_t code, const wchar_t* call)
{
    state->failed = true;
    ThrowWinError(code, state->name.text(), call);
}

int64_t File::size()
{
    checkUsable();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(state->handle, &size))
        fail(GetLastError(), L"GetFileSizeEx");
    return size.QuadPart;
}

int64_t File::read(void* destination, int64_t count)
{
    checkUsable();
    if (count <= 0)
        return 0;
    uint8_t* out = static_cast<uint8_t*>(destination);
    if (state->buffer.isNull()) {
        DWORD got = 0;
        if (!ReadFile(state->handle, out, CheckInt(count), &got, nullptr))
            fail(GetLastError(), L"ReadFile");
        return got;
    }
    int64_t total = 0;
    while (total < count) {
        if (state->used == state->filled) {
            state->position += state->filled;
            state->used = 0;
            state->filled = 0;
            DWORD got = 0;
            if (!ReadFile(state->handle, state->buffer.items(), CheckInt(state->buffer.length()), &got, nullptr))
                fail(GetLastError(), L"ReadFile");
            state->filled = static_cast<int32_t>(got);
            if (state->filled == 0)
                break; // the file has ended
        }
        int64_t chunk = count - total;
        if (chunk > state->filled - state->used)
            chunk = state->filled - state->used;
        memcpy(out + total, state->buffer.items() + state->used, static_cast<size_t>(chunk));
        state->used += static_cast<int32_t>(chunk);
        total += chunk;
    }
    return total;
}

void File::flush()
{
    if (state->used == 0)
        return;
    DWORD written = 0;
    if (!WriteFile(state->handle, state->buffer.items(), state->used, &written, nullptr))
        fail(GetLastError(), L"WriteFile");
    state->position += written;
    if (written < static_cast<DWORD>(state->used))
        fail(ERROR_DISK_FULL, L"WriteFile");
    state->used = 0;
}

void File::write(const void* source, int64_t count)
{
    checkUsable();
    const uint8_t* in = static_cast<const uint8_t*>(source);
    if (state->buffer.isNull()) {
        DWORD written = 0;
        int32_t wanted = CheckInt(count);
        if (wanted <= 0)
            return;
        if (!WriteFile(state->handle, in, wanted, &written, nullptr))
            fail(GetLastError(), L"WriteFile");
        if (written < static_cast<DWORD>(wanted))
            fail(ERROR_WRITE_FAULT, L"WriteFile");
        return;
    }
    int64_t capacity = state->buffer.length();
    while (count > 0) {
        if (state->used == capacity)
            flush();
        int64_t chunk = capacity - state->used;
        if (chunk > count)
            chunk = count;
        memcpy(state->buffer.items() + state->used, in, static_cast<size_t>(chunk));
        state->used += static_cast<int32_t>(chunk);
        in += chunk;
        count -= chunk;
    }
}

void File::close()
{
    if (!state || state->handle == INVALID_HANDLE_VALUE)
        return;
    try {
        if (state->mode == FileWrite && !state->failed && !state->buffer.isNull())
            flush();
    } catch (const Error&) {
        CloseHandle(state->handle);
        state->handle = INVALID_HANDLE_VALUE;
        throw;
    }
    CloseHandle(state->handle);
    state->handle = INVALID_HANDLE_VALUE;
}
