#include "installer/InstallJournal.h"

#include "archive/EntryFile.h"
#include "core/Error.h"
#include "core/File.h"

#include <windows.h>

const wchar_t* const JournalMarker = L"Lumivo installation journal 1";

static void AppendEscaped(Str& record, const Str& field);

static void WriteRecords(InstallJournal& journal, const Str& records)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(records.text());
    DWORD wanted = static_cast<DWORD>(CheckInt(records.length() * 2)), written = 0;
    if (!WriteFile(journal.file.get(), bytes, wanted, &written, nullptr))
        ThrowLastError(journal.path.text(), L"WriteFile");
    if (written != wanted)
        throw WinError(ERROR_DISK_FULL, journal.path.text());
}

void CreateJournal(InstallJournal& journal, const Str& path, const Str& records)
{
    journal.path = path;
    journal.file.reset(CreateFileW(path.text(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!journal.file)
        ThrowLastError(path.text(), L"CreateFileW");
    CheckPlainNewFile(journal.file.get(), path);
    Str text = Concat(Str(JournalMarker), Str(L"\n"), records);
    WriteRecords(journal, text);
    FlushJournal(journal);
    journal.length = text.length() * 2;
    journal.records.makeEmpty();
    journal.records.appendText(records.text(), records.length());
}

void AppendJournal(InstallJournal& journal, const Str& records)
{
    LockGuard guard(journal.lock);
    try {
        WriteRecords(journal, records);
    } catch (...) {
        // Cut back to the whole records, so that the next record does not follow a broken one.
        LARGE_INTEGER position;
        position.QuadPart = journal.length;
        if (SetFilePointerEx(journal.file.get(), position, nullptr, FILE_BEGIN))
            SetEndOfFile(journal.file.get());
        throw;
    }
    journal.length += records.length() * 2;
    journal.records.appendText(records.text(), records.length());
}

int64_t AppendStep(InstallJournal& journal, const wchar_t* kind, std::initializer_list<Str> fields)
{
    LockGuard guard(journal.lock);
    int64_t number = journal.steps;
    Str record(kind);
    record.append(L"\t", 1);
    record.append(IntToStr(number));
    for (const Str& field : fields) {
        record.append(L"\t", 1);
        AppendEscaped(record, field);
    }
    record.append(L"\n", 1);
    AppendJournal(journal, record);
    journal.steps++;
    return number;
}

void FlushJournal(InstallJournal& journal)
{
    if (!FlushFileBuffers(journal.file.get()))
        ThrowLastError(journal.path.text(), L"FlushFileBuffers");
}

Str ReadJournalText(const Str& path)
{
    File file;
    file.open(path, FileRead, 0);
    int64_t size = file.size();
    Str text = Str::Allocate(size / 2);
    if (size / 2 > 0 && file.read(text.bufferForFilling(), size / 2 * 2) != size / 2 * 2)
        throw EofError(path.text());
    file.close();
    return text;
}

// The pieces of text between separators; the piece after the last separator only when asked for.
static StrArray Pieces(const Str& text, wchar_t separator, bool withLast)
{
    StrArray pieces;
    pieces.makeEmpty();
    const wchar_t* units = text.text();
    int64_t start = 0;
    for (int64_t i = 0; i < text.length(); i++) {
        if (units[i] == separator) {
            pieces.append(Str(units + start, i - start));
            start = i + 1;
        }
    }
    if (withLast)
        pieces.append(Str(units + start, text.length() - start));
    return pieces;
}

StrArray JournalLines(const Str& text)
{
    return Pieces(text, L'\n', false);
}

static void AppendEscaped(Str& record, const Str& field)
{
    const wchar_t* units = field.text();
    int64_t start = 0;
    for (int64_t i = 0; i < field.length(); i++) {
        const wchar_t* escape = units[i] == L'\t'   ? L"%09"
                                : units[i] == L'\n' ? L"%0A"
                                : units[i] == L'\r' ? L"%0D"
                                : units[i] == L'%'  ? L"%25"
                                                    : nullptr;
        if (escape) {
            record.append(units + start, i - start);
            record.append(escape, 3);
            start = i + 1;
        }
    }
    record.append(units + start, field.length() - start);
}

Str JournalRecord(const wchar_t* kind, std::initializer_list<Str> fields)
{
    Str record(kind);
    for (const Str& field : fields) {
        record.append(L"\t", 1);
        AppendEscaped(record, field);
    }
    record.append(L"\n", 1);
    return record;
}

static int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

static Str Unescaped(const wchar_t* units, int64_t length)
{
    Str field;
    int64_t start = 0;
    for (int64_t i = 0; i + 2 < length; i++) {
        if (units[i] == L'%' && HexValue(units[i + 1]) >= 0 && HexValue(units[i + 2]) >= 0) {
            wchar_t c = static_cast<wchar_t>(HexValue(units[i + 1]) * 16 + HexValue(units[i + 2]));
            field.append(units + start, i - start);
            field.append(&c, 1);
            start = i + 3;
            i += 2;
        }
    }
    field.append(units + start, length - start);
    return field;
}

StrArray JournalFields(const Str& line)
{
    StrArray fields = Pieces(line, L'\t', true);
    for (int64_t i = 0; i < fields.length(); i++)
        fields.ref(i) = Unescaped(fields.ref(i).text(), fields.ref(i).length());
    return fields;
}
