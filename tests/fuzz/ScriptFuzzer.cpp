// Fuzz target over the install.script parser: any bytes, decoded as the installer decodes the
// entry, must parse without a crash into a sorted list of unique keys whose lines the parser
// split correctly, and every later reading of it must hold up.
#include "FuzzText.h"

#include "core/CharCase.h"
#include "core/Utf8.h"
#include "installer/ListItem.h"
#include "script/ScriptValues.h"

#include <initializer_list>

static bool HasLineEnd(const Str& text)
{
    for (int64_t i = 0; i < text.length(); i++)
        if (text.text()[i] == L'\r' || text.text()[i] == L'\n')
            return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        ScriptValues.clear();
        ParseScriptText(Utf8ToStr(data, static_cast<int64_t>(size)));
        const Str* pairs = ScriptValues.items.items();
        for (int64_t i = 0; i < ScriptValues.pairCount(); i++) {
            const Str& key = pairs[2 * i];
            FUZZ_CHECK(!HasLineEnd(key) && !HasLineEnd(pairs[2 * i + 1]));
            FUZZ_CHECK(key.isEmpty() || key.text()[0] != L'#');
            for (int64_t k = 0; k < key.length(); k++)
                FUZZ_CHECK(key.text()[k] != L'=');
            FUZZ_CHECK(ScriptValues.find(key) == 2 * i);
            if (i > 0)
                FUZZ_CHECK(StrCompareNoCase(pairs[2 * i - 2].text(), pairs[2 * i - 2].length(), key.text(),
                                            key.length()) < 0);
        }
        const wchar_t* lists[][2] = {{L"kopiuj", L"copy-files"},
                                     {L"kasuj", L"delete-files"},
                                     {L"kasuj-pytajac", L"ask-delete-files"},
                                     {L"katalogi", L"delete-directories"}};
        for (const auto& list : lists) {
            StrArray items = SplitList(ScriptValue(list[0], list[1]));
            for (int64_t i = 0; i < items.length(); i++) {
                const Str& item = items.ref(i);
                FUZZ_CHECK(!item.isEmpty());
                for (int64_t k = 0; k < item.length(); k++)
                    FUZZ_CHECK(item.text()[k] != L'|');
                IsContainedRelativePath(item, NameMayHoldWildcards);
            }
        }
        for (const wchar_t* key :
             {L"start-menu-shortcut", L"desktop-shortcut", L"detect-lang", L"prefer-shared"})
            IsYes(ScriptValue(nullptr, key));
    } catch (const Error&) {
        // out of memory on a huge input is a clean failure, not a crash
    }
    ScriptValues.clear();
    return 0;
}
