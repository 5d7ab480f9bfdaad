#include "installer/RegistrySnapshot.h"

#include "core/CharCase.h"
#include "core/Error.h"
#include "core/Owned.h"
#include "core/StrFormat.h"
#include "installer/InstallJournal.h"

const wchar_t* RootName(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? L"HKLM" : root == HKEY_CURRENT_USER ? L"HKCU" : nullptr;
}

HKEY RootNamed(const Str& name)
{
    return name == L"HKLM" ? HKEY_LOCAL_MACHINE : name == L"HKCU" ? HKEY_CURRENT_USER : nullptr;
}

static Str HexOf(const uint8_t* bytes, int64_t count)
{
    Str text = Str::Allocate(count * 2);
    wchar_t* digits = text.bufferForFilling();
    for (int64_t i = 0; i < count; i++) {
        digits[2 * i] = L"0123456789abcdef"[bytes[i] >> 4];
        digits[2 * i + 1] = L"0123456789abcdef"[bytes[i] & 15];
    }
    return text;
}

static int Digit(wchar_t c)
{
    return c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
}

static bool BytesOfHex(const Str& hex, ByteArray& bytes)
{
    bytes.makeEmpty();
    if (hex.length() % 2)
        return false;
    for (int64_t i = 0; i < hex.length(); i += 2) {
        int high = Digit(hex.at(i)), low = Digit(hex.at(i + 1));
        if (high < 0 || low < 0)
            return false;
        bytes.append(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

// Every value of an open key, by index; false once there are no more.
static bool ValueAt(HKEY key, DWORD index, SavedValue& value)
{
    DWORD nameUnits = 0, dataBytes = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameUnits,
                         &dataBytes, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    CharBuffer name;
    name.reserveZeros(nameUnits + 1);
    value.data.makeEmpty();
    value.data.insertUninitialized(0, dataBytes + 1);
    DWORD nameLength = nameUnits + 1, size = dataBytes + 1;
    LONG result =
        RegEnumValueW(key, index, name.text(), &nameLength, nullptr, &value.type, value.data.items(), &size);
    if (result != ERROR_SUCCESS)
        return false;
    value.name = Str(name.text(), nameLength);
    value.data.resize(size);
    return true;
}

Str SaveRegistryKey(HKEY root, const Str& keyPath)
{
    OwnedKey key;
    LONG opened = RegOpenKeyExW(root, keyPath.text(), 0, KEY_READ, key.receive());
    if (opened == ERROR_FILE_NOT_FOUND)
        return Concat(JournalRecord(L"key", {Str(RootName(root)), Str(L"0"), keyPath}),
                      JournalRecord(L"key-saved"));
    if (opened != ERROR_SUCCESS)
        ThrowWinError(opened, keyPath.text(), L"RegOpenKeyExW");
    Str records = JournalRecord(L"key", {Str(RootName(root)), Str(L"1"), keyPath});
    SavedValue value;
    for (DWORD i = 0; ValueAt(key.get(), i, value); i++) {
        const uint8_t* name = reinterpret_cast<const uint8_t*>(value.name.text());
        records.append(JournalRecord(L"value", {HexOf(name, value.name.length() * 2), IntToStr(value.type),
                                                HexOf(value.data.items(), value.data.length())}));
    }
    records.append(JournalRecord(L"key-saved"));
    return records;
}

bool ParseSavedValue(const StrArray& fields, SavedValue& value)
{
    ByteArray name;
    if (fields.length() != 4 || !BytesOfHex(fields.ref(1), name) || name.length() % 2 ||
        !BytesOfHex(fields.ref(3), value.data) || fields.ref(2).isEmpty())
        return false;
    value.name = Str(reinterpret_cast<const wchar_t*>(name.items()), name.length() / 2);
    value.type = 0;
    for (int64_t i = 0; i < fields.ref(2).length(); i++) {
        wchar_t c = fields.ref(2).at(i);
        if (c < L'0' || c > L'9')
            return false;
        value.type = value.type * 10 + (c - L'0');
    }
    return true;
}

static bool DeleteEveryValue(HKEY key)
{
    SavedValue value;
    bool deleted = true;
    while (ValueAt(key, 0, value))
        if (RegDeleteValueW(key, value.name.text()) != ERROR_SUCCESS) {
            deleted = false;
            break;
        }
    return deleted;
}

bool RestoreRegistryKey(HKEY root, const Str& keyPath, bool existed, const StrArray& valueLines)
{
    OwnedKey key;
    if (!existed) {
        LONG opened = RegOpenKeyExW(root, keyPath.text(), 0, KEY_ALL_ACCESS, key.receive());
        if (opened == ERROR_FILE_NOT_FOUND)
            return true;
        bool emptied = opened == ERROR_SUCCESS && DeleteEveryValue(key.get());
        key.reset();
        return emptied && RegDeleteKeyW(root, keyPath.text()) == ERROR_SUCCESS;
    }
    if (RegCreateKeyExW(root, keyPath.text(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    bool restored = true;
    // Values the installation added go first; then every saved value is written back.
    SavedValue present;
    for (DWORD i = 0; ValueAt(key.get(), i, present);) {
        bool saved = false;
        for (int64_t j = 0; j < valueLines.length() && !saved; j++) {
            SavedValue value;
            saved = ParseSavedValue(JournalFields(valueLines.ref(j)), value) &&
                    StrEqualNoCase(value.name, present.name);
        }
        if (saved)
            i++;
        else if (RegDeleteValueW(key.get(), present.name.text()) != ERROR_SUCCESS) {
            restored = false;
            i++;
        }
    }
    for (int64_t j = 0; j < valueLines.length(); j++) {
        SavedValue value;
        restored = ParseSavedValue(JournalFields(valueLines.ref(j)), value) &&
                   RegSetValueExW(key.get(), value.name.text(), 0, value.type, value.data.items(),
                                  static_cast<DWORD>(value.data.length())) == ERROR_SUCCESS &&
                   restored;
    }
    return restored;
}

StrArray DescribeRegistryValues(HKEY root, const Str& keyPath)
{
    StrArray lines;
    lines.makeEmpty();
    OwnedKey key;
    if (RegOpenKeyExW(root, keyPath.text(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return lines;
    SavedValue value;
    for (DWORD i = 0; ValueAt(key.get(), i, value); i++) {
        Str data;
        if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
            int64_t units = value.data.length() / 2;
            const wchar_t* text = reinterpret_cast<const wchar_t*>(value.data.items());
            while (units > 0 && text[units - 1] == 0)
                units--;
            data = Str(text, units);
        } else if (value.type == REG_DWORD && value.data.length() == 4)
            data = IntToStr(*reinterpret_cast<const uint32_t*>(value.data.items()));
        else
            data = HexOf(value.data.items(), value.data.length());
        lines.append(StrFormat(L"[] = []", value.name, data));
    }
    return lines;
}
