#include "gui/Mnemonic.h"

#include "core/CharCase.h"

#include <windows.h>

int32_t MnemonicOf(const Str& caption)
{
    const wchar_t* units = caption.text();
    for (int64_t i = 0; i + 1 < caption.length(); i++) {
        if (units[i] != L'&')
            continue;
        if (units[i + 1] != L'&')
            return ToLowerChar(units[i + 1]);
        i++; // "&&"
    }
    return 0;
}

static bool Taken(const Str* captions, int32_t count, int32_t character)
{
    for (int32_t i = 0; i < count; i++)
        if (MnemonicOf(captions[i]) == character)
            return true;
    return false;
}

// The caption with "&" inserted before the unit at index.
static Str WithMarkAt(const Str& caption, int64_t index)
{
    Str marked = Str::Allocate(caption.length() + 1);
    wchar_t* out = marked.bufferForFilling();
    const wchar_t* units = caption.text();
    for (int64_t i = 0; i < caption.length(); i++) {
        if (i == index)
            *out++ = L'&';
        *out++ = units[i];
    }
    return marked;
}

void AddMnemonics(Str* captions, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        if (MnemonicOf(captions[i]) != 0)
            continue;
        const wchar_t* units = captions[i].text();
        for (int64_t k = 0; k < captions[i].length(); k++) {
            if (!IsCharAlphaNumericW(units[k]) || Taken(captions, count, ToLowerChar(units[k])))
                continue;
            captions[i] = WithMarkAt(captions[i], k);
            break;
        }
    }
}
