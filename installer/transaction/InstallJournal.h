// The journal of one installation: what it changed, written down before each change is made, so
// that a failed run can undo itself and a killed one can be undone by the next run. One record a
// line, its fields separated by tabs; UTF-16 text on disk. A last line without its line feed was
// cut short by a kill and counts as never written.
#ifndef LUMIVO_INSTALLER_TRANSACTION_INSTALLJOURNAL_H
#define LUMIVO_INSTALLER_TRANSACTION_INSTALLJOURNAL_H

#include "core/Array.h"
#include "core/CriticalSection.h"
#include "core/Owned.h"
#include "core/Str.h"

#include <initializer_list>
#include <stdint.h>

// The first line of every journal: whatever lacks it is not ours and is left alone.
extern const wchar_t* const JournalMarker;

struct InstallJournal {
    Str path;
    OwnedFileHandle file;
    int64_t length = 0;  // bytes on disk that hold whole records
    int64_t flushed = 0; // bytes known to be on disk
    CharBuffer records; // every record written so far, in order
    int64_t steps = 0;  // numbered steps written down so far
    // Records come from the copy loop and from the workers that write files ahead of it: each is
    // written whole under this lock (and a step's number taken with its record).
    CriticalSection lock;
};

// Creates the journal (CREATE_NEW, a plain file) with the marker line and the given records,
// flushed to disk before anything else is changed.
void CreateJournal(InstallJournal& journal, const Str& path, const Str& records);

// Adds records (whole lines) at the end. When the write fails (a full disk), the file is cut back
// to its whole records and the error raised with the journal's name: the change it announces
// must not be made.
void AppendJournal(InstallJournal& journal, const Str& records);

// Adds a record of kind whose first field is the next step's number, then fields; that number.
int64_t AppendStep(InstallJournal& journal, const wchar_t* kind, std::initializer_list<Str> fields);

// Flushes the records to disk, unless they are there already.
void FlushJournal(InstallJournal& journal);

// The text of the journal file open as file (path names it); raises when it cannot be read, and
// ErrCorrupted when it holds more than limit bytes.
Str ReadJournalText(void* file, const Str& path, int64_t limit);

// The complete lines of a journal's text, line feeds removed; the marker line included.
StrArray JournalLines(const Str& text);

// One record: its kind, then its fields, tabs between, a line feed at the end. Tabs, line breaks
// and "%" inside a field are written as "%09", "%0A", "%0D" and "%25".
Str JournalRecord(const wchar_t* kind, std::initializer_list<Str> fields = {});
// The fields of a line, kind first, escapes undone.
StrArray JournalFields(const Str& line);

#endif
