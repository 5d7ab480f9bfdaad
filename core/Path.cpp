#include "core/Path.h"

#include "core/Array.h"
#include "core/CharCase.h"

static bool StartsWithNoCase(const wchar_t* text, int64_t length, const wchar_t* prefix)
{
    int64_t prefixLength = TextLength(prefix);
    return length >= prefixLength && StrEqualNoCase(text, prefixLength, prefix, prefixLength);
}

static bool IsDriveRoot(const wchar_t* p, int64_t length)
{
    return length >= 3 && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) && p[1] == L':' &&
           p[2] == L'\\';
}

// Index of the backslash that no "..\" step may remove.
static int64_t RootIndex(const wchar_t* p, int64_t length)
{
    if (StartsWithNoCase(p, length, L"\\\\?\\UNC\\"))
        return 7;
    if (StartsWithNoCase(p, length, L"\\\\?\\") || StartsWithNoCase(p, length, L"\\\\.\\"))
        return 3;
    if (IsDriveRoot(p, length))
        return 2;
    return 0;
}

Str NormalizePath(const Str& path)
{
    CharBuffer buffer;
    buffer.appendText(path.text(), path.length());
    buffer.reserveZeros(1);
    wchar_t* p = buffer.text();
    int64_t length = path.length();
    for (int64_t i = 0; i < length; i++)
        if (p[i] == L'/')
            p[i] = L'\\';

    int64_t start = 0;
    if (length >= 2 && p[0] == L'\\' && p[1] == L'\\')
        start = 2;
    else if (IsDriveRoot(p, length))
        start = 3;
    int64_t root = RootIndex(p, length);

    // The buffer holds a terminating zero, so looking ahead stops at it.
    int64_t read = start, write = start;
    while (read < length) {
        if (p[read] == L'\\' && p[read + 1] == L'\\') {
            read++;
        } else if (p[read] == L'\\' && p[read + 1] == L'.' && p[read + 2] == L'\\') {
            read += 2;
        } else if (p[read] == L'\\' && p[read + 1] == L'.' && p[read + 2] == L'.' && p[read + 3] == L'\\') {
            if (write > root) {
                int64_t back = write - 1;
                while (back > root && p[back] != L'\\')
                    back--;
                write = back;
                read += 3;
            } else {
                p[write++] = p[read++]; // nothing to remove before the root
            }
        } else {
            p[write++] = p[read++];
        }
    }
    return Str(p, write);
}

Str AddTrailingSlash(const Str& path)
{
    int64_t length = path.length();
    if (length > 0 && (path.text()[length - 1] == L'\\' || path.text()[length - 1] == L'/'))
        return path;
    return Concat(path.text(), length, L"\\", 1);
}

Str DirectoryOf(const Str& path)
{
    const wchar_t* p = path.text();
    for (int64_t i = path.length() - 1; i >= 0; i--)
        if (p[i] == L'\\' || p[i] == L'/' || p[i] == L':')
            return i + 1 == path.length() ? path : Str(p, i + 1);
    return Str();
}

Str ParentDirectory(const Str& path)
{
    Str withSlash = AddTrailingSlash(path);
    return NormalizePath(Concat(withSlash.text(), withSlash.length(), L"..\\", 3));
}

int64_t RootLength(const Str& path)
{
    const wchar_t* text = path.text();
    if (path.length() >= 3 && text[1] == L':' && text[2] == L'\\')
        return 3;
    if (path.length() < 3 || text[0] != L'\\' || text[1] != L'\\' || text[2] == L'?' || text[2] == L'.')
        return 0;
    int64_t separators = 0;
    for (int64_t i = 2; i < path.length(); i++)
        if (text[i] == L'\\' && ++separators == 2)
            return i + 1;
    return 0;
}
