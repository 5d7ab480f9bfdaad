#include "archive/RelativeName.h"

namespace {

bool IsSeparator(uint32_t unit)
{
    return unit == '\\' || unit == '/';
}

uint32_t UpperAscii(uint32_t unit)
{
    return unit >= 'a' && unit <= 'z' ? unit - 32 : unit;
}

// Windows opens a device for these names in every folder, whatever follows the first dot and
// however many spaces precede it: "nul", "Con.txt", "com1 .log".
template <class Unit> bool IsDeviceName(const Unit* component, int64_t length)
{
    int64_t base = 0;
    while (base < length && component[base] != '.')
        base++;
    while (base > 0 && component[base - 1] == ' ')
        base--;
    if (base != 3 && base != 4)
        return false;
    uint32_t a = UpperAscii(component[0]), b = UpperAscii(component[1]), c = UpperAscii(component[2]);
    if (base == 3)
        return (a == 'C' && b == 'O' && c == 'N') || (a == 'P' && b == 'R' && c == 'N') ||
               (a == 'A' && b == 'U' && c == 'X') || (a == 'N' && b == 'U' && c == 'L');
    uint32_t digit = static_cast<uint32_t>(component[3]);
    bool isDigit = (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return isDigit && ((a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T'));
}

template <class Unit> NameProblem CheckComponent(const Unit* component, int64_t length)
{
    if (length == 1 && component[0] == '.')
        return NameProblem::DotComponent;
    if (length == 2 && component[0] == '.' && component[1] == '.')
        return NameProblem::DotDotComponent;
    if (component[length - 1] == '.' || component[length - 1] == ' ')
        return NameProblem::TrailingDotOrSpace;
    if (IsDeviceName(component, length))
        return NameProblem::DeviceName;
    return NameProblem::None;
}

template <class Unit> NameProblem Check(const Unit* units, int64_t length, unsigned flags)
{
    if (!units || length <= 0)
        return NameProblem::Empty;
    if (IsSeparator(units[0]))
        return NameProblem::Absolute;
    int64_t start = 0;
    for (int64_t i = 0; i <= length; i++) {
        if (i < length && !IsSeparator(units[i])) {
            uint32_t unit = static_cast<uint32_t>(units[i]);
            if (unit == ':')
                return NameProblem::DriveOrStream;
            if (unit < 0x20)
                return NameProblem::ControlCharacter;
            if (unit == '<' || unit == '>' || unit == '"' || unit == '|' || unit == '?' ||
                (unit == '*' && !(flags & NameMayHoldWildcards)))
                return NameProblem::ForbiddenCharacter;
            continue;
        }
        if (i == start) {
            // One final separator may mark a folder; anywhere else an empty component is refused.
            if (i == length && (flags & NameMayEndInSeparator))
                return NameProblem::None;
            return NameProblem::EmptyComponent;
        }
        NameProblem problem = CheckComponent(units + start, i - start);
        if (problem != NameProblem::None)
            return problem;
        start = i + 1;
    }
    return NameProblem::None;
}

} // namespace

NameProblem CheckRelativeName(const char16_t* units, int64_t length, unsigned flags)
{
    return Check(units, length, flags);
}

NameProblem CheckRelativeName(const wchar_t* units, int64_t length, unsigned flags)
{
    return Check(units, length, flags);
}

const char* NameProblemText(NameProblem problem)
{
    switch (problem) {
    case NameProblem::None:
        return "is allowed";
    case NameProblem::Empty:
        return "is empty";
    case NameProblem::Absolute:
        return "is absolute";
    case NameProblem::DriveOrStream:
        return "names a drive or a stream (\":\")";
    case NameProblem::ForbiddenCharacter:
        return "holds a character that Windows does not allow in file names";
    case NameProblem::ControlCharacter:
        return "holds a control character";
    case NameProblem::EmptyComponent:
        return "has an empty component";
    case NameProblem::DotComponent:
        return "has a \".\" component";
    case NameProblem::DotDotComponent:
        return "has a \"..\" component";
    case NameProblem::DeviceName:
        return "names a Windows device (CON, PRN, AUX, NUL, COM0-9, LPT0-9)";
    case NameProblem::TrailingDotOrSpace:
        return "has a component ending in a dot or a space, which Windows would drop";
    }
    return "cannot be used";
}
