#include "script/ScriptValues.h"

#include "core/CharCase.h"

KeyValueList ScriptValues;

static bool IsLineEnd(wchar_t unit)
{
    return unit == L'\r' || unit == L'\n';
}

void ParseKeyValueText(const Str& text, KeyValueList& list)
{
    const wchar_t* units = text.text();
    int64_t length = text.length();
    int64_t p = 0;
    while (p < length) {
        int64_t lineStart = p;
        int64_t separator = -1;
        if (units[p] != L'#') {
            while (p < length && units[p] != L'=' && !IsLineEnd(units[p]))
                p++;
            if (p < length && units[p] == L'=')
                separator = p;
        }
        while (p < length && !IsLineEnd(units[p]))
            p++;
        if (separator >= 0)
            list.set(Str(units + lineStart, separator - lineStart),
                             Str(units + separator + 1, p - separator - 1));
        while (p < length && IsLineEnd(units[p]))
            p++;
    }
}

void ParseScriptText(const Str& text)
{
    ParseKeyValueText(text, ScriptValues);
}

Str ScriptValue(const wchar_t* alias, const wchar_t* key)
{
    if (alias) {
        Str value = ScriptValues.valueOf(alias);
        if (!value.isEmpty())
            return value;
    }
    return ScriptValues.valueOf(key);
}

bool IsYes(const Str& value)
{
    return value.length() == 3 && (StrEqualNoCase(value, L"tak") || StrEqualNoCase(value, L"yes"));
}
