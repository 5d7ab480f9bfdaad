// Templates with "[]" placeholders: each takes the next argument; "[[" is a literal "[".
#ifndef LUMIVO_CORE_STRFORMAT_H
#define LUMIVO_CORE_STRFORMAT_H

#include "core/Str.h"

#include <stdint.h>

// One argument: a string (pointed at, not owned: it must outlive the call), an integer or a real.
struct FormatArg {
    enum Kind : int32_t { Undefined = 0, String = 1, Integer = 2, Real = 3 };
    typedef int64_t (*RealWriter)(double value, wchar_t (&buffer)[50]);

    FormatArg() : kind(Undefined), text(nullptr), length(0), integer(0), real(0), realText(nullptr) {}
    FormatArg(const Str& s) : kind(String), text(s.text()), length(s.length()), integer(0), real(0), realText(nullptr) {}
    FormatArg(const wchar_t* s) : kind(String), text(s), length(TextLength(s)), integer(0), real(0), realText(nullptr)
    {
    }
    FormatArg(int64_t value) : kind(Integer), text(nullptr), length(0), integer(value), real(0), realText(nullptr) {}
    FormatArg(int value) : FormatArg(static_cast<int64_t>(value)) {}
    FormatArg(double value)
        : kind(Real), text(nullptr), length(0), integer(0), real(value), realText(RealToText)
    {
    }

    // Number of units the argument produces (CheckFailed for an undefined one).
    int64_t Size() const;
    // Writes the argument's text at position within capacity (its text must fit before the
    // terminator, else IndexError) and advances position.
    void StrArg(wchar_t* buffer, int64_t& position, int64_t capacity) const;

    int32_t kind;
    const wchar_t* text;
    int64_t length;
    int64_t integer;
    double real;
    // RealToText, named only where a real is formatted: a program that formats none leaves the
    // runtime's printf (20 KB) out.
    RealWriter realText;
};

// Number of units StrFormat produces for the template and arguments.
int64_t StrFormatSize(const wchar_t* templ, const FormatArg& a1 = FormatArg(), const FormatArg& a2 = FormatArg(),
                      const FormatArg& a3 = FormatArg(), const FormatArg& a4 = FormatArg(),
                      const FormatArg& a5 = FormatArg());

// The filled template: measured first, then written into one block of exactly that length.
// Template mistakes throw CheckFailed.
Str StrFormat(const wchar_t* templ, const FormatArg& a1 = FormatArg(), const FormatArg& a2 = FormatArg(),
              const FormatArg& a3 = FormatArg(), const FormatArg& a4 = FormatArg(),
              const FormatArg& a5 = FormatArg());

#endif
