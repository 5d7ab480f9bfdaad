#include "gui/AlertText.h"

#include "core/Array.h"

Str NormalizeLineBreaks(const Str& text)
{
    const wchar_t* units = text.text();
    int64_t length = text.length();
    int64_t added = 0;
    for (int64_t i = 0; i < length; i++) {
        if (units[i] == L'\r' && i + 1 < length && units[i + 1] == L'\n')
            i++;
        else if (units[i] == L'\r' || units[i] == L'\n' || units[i] == 0)
            added++;
    }
    if (added == 0)
        return text;
    Str normalized = Str::Allocate(length + added);
    wchar_t* out = normalized.bufferForFilling();
    for (int64_t i = 0; i < length; i++) {
        wchar_t unit = units[i];
        if (unit == L'\r' || unit == L'\n' || unit == 0) {
            *out++ = L'\r';
            *out++ = L'\n';
            if (unit == L'\r' && i + 1 < length && units[i + 1] == L'\n')
                i++;
        } else {
            *out++ = unit;
        }
    }
    return normalized;
}

Str AlertClipboardText(const Str& title, const Str& message, const AlertButtons& buttons)
{
    static const wchar_t Rule[] = L"---------------------------";
    CharBuffer text;
    auto add = [&text](const wchar_t* units, int64_t count) { text.appendText(units, count); };
    auto addRule = [&]() {
        add(Rule, 27);
        add(L"\r\n", 2);
    };
    addRule();
    add(title.text(), title.length());
    add(L"\r\n", 2);
    addRule();
    add(message.text(), message.length());
    add(L"\r\n", 2);
    addRule();
    for (int32_t i = 0; i < buttons.count; i++) {
        if (i > 0)
            add(L"   ", 3);
        add(buttons.captions[i].text(), buttons.captions[i].length());
    }
    add(L"\r\n", 2);
    addRule();
    return NormalizeLineBreaks(Str(text.text(), text.length()));
}
