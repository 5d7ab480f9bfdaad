// One owner template for every raw Windows handle that the other types do not already wrap:
// non-copyable, movable, and the handle is released on every path, exceptions included.
#ifndef LUMIVO_CORE_OWNED_H
#define LUMIVO_CORE_OWNED_H

#include <windows.h>
#include <objbase.h>

template <class Traits>
class Owned {
public:
    typedef typename Traits::Handle Handle;

    Owned() : handle(Traits::Invalid()) {}
    explicit Owned(Handle owned) : handle(owned) {}
    Owned(Owned&& other) noexcept : handle(other.handle) { other.handle = Traits::Invalid(); }
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset(other.handle);
            other.handle = Traits::Invalid();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const { return handle; }
    explicit operator bool() const { return handle != Traits::Invalid(); }
    // The address to receive a new handle from a system call (the old one is released first).
    Handle* receive()
    {
        reset();
        return &handle;
    }
    // Gives up ownership without releasing.
    Handle detach()
    {
        Handle h = handle;
        handle = Traits::Invalid();
        return h;
    }
    void reset(Handle owned = Traits::Invalid())
    {
        if (handle != Traits::Invalid())
            Traits::Close(handle);
        handle = owned;
    }

private:
    Handle handle;
};

struct KernelHandleTraits {
    typedef HANDLE Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
// CreateFileW and FindFirstFileW report failure as INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    typedef HANDLE Handle;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {
    typedef HANDLE Handle;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
struct RegistryKeyTraits {
    typedef HKEY Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct LibraryTraits {
    typedef HMODULE Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct LocalMemoryTraits {
    typedef HLOCAL Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};
// Shell item lists and other memory that COM hands out.
struct CoTaskMemoryTraits {
    typedef void* Handle;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CoTaskMemFree(h); }
};

typedef Owned<KernelHandleTraits> OwnedHandle;
typedef Owned<FileHandleTraits> OwnedFileHandle;
typedef Owned<FindHandleTraits> OwnedFind;
typedef Owned<RegistryKeyTraits> OwnedKey;
typedef Owned<LibraryTraits> OwnedLibrary;
typedef Owned<LocalMemoryTraits> OwnedLocal;
typedef Owned<CoTaskMemoryTraits> OwnedCoTaskMemory;

// A COM interface pointer, released on every path.
template <class Interface>
class ComPtr {
public:
    ComPtr() : pointer(nullptr) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    // The address to receive a new pointer from a system call.
    Interface** receive()
    {
        reset();
        return &pointer;
    }
    void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
    void reset()
    {
        if (pointer)
            pointer->Release();
        pointer = nullptr;
    }

private:
    Interface* pointer;
};

#endif
