// The values a registry key held before an installation wrote it, as journal records, and
// putting them back: whichever values they were, of whatever type.
#ifndef LUMIVO_INSTALLER_TRANSACTION_REGISTRYSNAPSHOT_H
#define LUMIVO_INSTALLER_TRANSACTION_REGISTRYSNAPSHOT_H

#include "core/Array.h"
#include "core/Str.h"

#include <windows.h>

// "HKLM" or "HKCU" for the two roots an installation writes under, and back (null for others).
const wchar_t* RootName(HKEY root);
HKEY RootNamed(const Str& name);

// Which values of a key an installation owns: only those are saved and put back.
typedef bool (*ValueFilter)(const Str& name);

// The records of the key's present state: "key" (root name, "1" when it exists else "0", key
// path), one "value" record per owned value (name and data in hexadecimal digits of their bytes,
// the type in decimal), and "key-saved" last. Raises when the key exists but cannot be read.
Str SaveRegistryKey(HKEY root, const Str& keyPath, ValueFilter owned);

// One saved value, as its record holds it.
struct SavedValue {
    Str name;
    DWORD type;
    ByteArray data;
};
// The value of a "value" record's fields; false when they are malformed.
bool ParseSavedValue(const StrArray& fields, SavedValue& value);

// Puts the owned values back as saved: those that were there are written back, the others are
// deleted, and a key that did not exist goes when nothing else is left in it. Values that are not
// owned are neither written nor deleted, whatever the records say. lines holds the saved "value"
// records. False when something could not be put back.
bool RestoreRegistryKey(HKEY root, const Str& keyPath, bool existed, const StrArray& valueLines, ValueFilter owned);

// Every value of the key as "name = data" texts, for the log (numbers in decimal, texts as they
// are, other data in hexadecimal digits).
StrArray DescribeRegistryValues(HKEY root, const Str& keyPath);

#endif
