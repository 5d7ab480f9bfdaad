#include "doctest.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ErrorMessage.h"
#include "core/StrFormat.h"

#include <windows.h>

namespace {

struct LanguageScope {
    explicit LanguageScope(int32_t language) : saved(Language) { Language = language; }
    ~LanguageScope() { Language = saved; }
    int32_t saved;
};

Str Message(int32_t code, const wchar_t* name, int32_t language)
{
    LanguageScope scope(language);
    return ErrorMessage(Error(code, name));
}

} // namespace

TEST_SUITE("errors") {

TEST_CASE("CheckInt accepts exactly the 32-bit range")
{
    CHECK(CheckInt(2147483647LL) == 2147483647);
    CHECK(CheckInt(-2147483648LL) == INT32_MIN);
    try {
        CheckInt(2147483648LL);
        FAIL("no exception");
    } catch (const CheckFailed& e) {
        CHECK(e.code == -7);
        CHECK(Str(e.text) == L"CheckInt(int64)");
    }
}

TEST_CASE("ThrowLastError maps the out-of-memory codes")
{
    SetLastError(14);
    CHECK_THROWS_AS(ThrowLastError(L"x"), MemoryError);
    SetLastError(5);
    try {
        ThrowLastError(L"x.txt");
    } catch (const WinError& e) {
        CHECK(e.code == 5);
        CHECK(Str(e.text) == L"x.txt");
    }
    Error copy = WinError(2, L"name");
    Error assigned(0);
    assigned = copy;
    CHECK(Str(assigned.text) == L"name");
    assigned.setText(nullptr);
    CHECK(assigned.text == nullptr);
}

TEST_CASE("messages in both languages, unit for unit")
{
    CHECK(Message(2, L"a.txt", LangPolish) == L"Nie znalazłem \"a.txt\".");
    CHECK(Message(2, L"a.txt", LangEnglish) == L"\"a.txt\" not found.");
    CHECK(Message(110, L"a", LangEnglish) == L"\"a\" not found.");
    CHECK(Message(5, L"f", LangEnglish) == L"Access denied for file \"f\"\nMay be used by another program.");
    CHECK(Message(32, L"f", LangPolish) == L"Plik \"f\" jest niedostępny\nMoże być używany przez inny program.");
    CHECK(Message(8, L"f", LangEnglish).isEmpty());
    CHECK(Message(14, nullptr, LangPolish).isEmpty());
    CHECK(Message(19, L"f", LangEnglish) == L"\"f\" is write protected.");
    CHECK(Message(29, L"f", LangPolish) == L"Nieudany zapis do pliku \"f\".");
    CHECK(Message(30, L"f", LangEnglish) == L"Read fault, file \"f\".");
    CHECK(Message(112, L"f$$", LangEnglish) == L"There is no free space for \"f$$\".");
    CHECK(Message(183, L"d", LangPolish) == L"\"d\" już istnieje.");
    CHECK(Message(111, nullptr, LangEnglish) == L"Buffer overflow.");
    CHECK(Message(123, nullptr, LangPolish) == L"Nieprawidłowa nazwa pliku lub katalogu");
    CHECK(Message(267, nullptr, LangEnglish) == L"Invalid file or directory name.");
    CHECK(Message(145, L"d", LangEnglish) == L"Directory \"d\" is not empty.");
    CHECK(Message(206, L"n", LangPolish) == L"Zbyt długa nazwa \"n\".");
    CHECK(Message(1112, nullptr, LangEnglish) == L"No disk.");
    CHECK(Message(-2, nullptr, LangEnglish) == L"index out of range.");
    CHECK(Message(-3, nullptr, LangPolish) == L"Niespodziewany błąd wewnętrzny.");
    CHECK(Message(-4, L"p", LangEnglish) == L"Unexpected end of file \"p\".");
    CHECK(Message(-5, L"p", LangEnglish) == L"File \"p\". Max. 2GB.");
    CHECK(Message(-5, L"p", LangPolish) == L"Zbyt duży rozmiar pliku \"p\". Maks. 2GB.");
    CHECK(Message(-300, L"e", LangPolish) == L"Uszkodzony plik \"e\".");
    CHECK(Message(1234, L"ignored", LangEnglish) == L"Error number 1234.");
    CHECK(Message(-7, L"CheckInt(int64)", LangEnglish) == L"Error number -7.");
    CHECK(Message(0, nullptr, LangPolish) == L"Wywołanie systemowe nie powiodło się bez podania przyczyny.");
    LanguageScope english(LangEnglish);
    CHECK(ErrorMessage(WinError(0, nullptr, L"CreateWindowExW")) ==
          L"The system call CreateWindowExW failed without giving a reason.");
    CHECK(Message(2, nullptr, LangEnglish) == L"\"\" not found.");
}

} // TEST_SUITE

TEST_SUITE("format") {

static Str CheckFailure(const wchar_t* templ, const FormatArg& arg = FormatArg())
{
    try {
        StrFormat(templ, arg);
    } catch (const CheckFailed& e) {
        return Str(e.text);
    }
    return Str(L"no exception");
}

TEST_CASE("the update parameter template doubles a final backslash")
{
    Str dir(L"C:\\A\\");
    CHECK(StrFormat(L"--UPDATE \"[]\\\"", dir) == L"--UPDATE \"C:\\A\\\\\"");
}

TEST_CASE("literals, escapes and arguments of every kind")
{
    CHECK(StrFormat(L"plain [[x] text") == L"plain [x] text");
    CHECK(StrFormat(L"a[]b", -12) == L"a-12b");
    CHECK(StrFormat(L"[]", 0.25) == L"0.25");
    CHECK(StrFormat(L"").isEmpty());
    CHECK(StrFormat(L"[][][][][]", 1, 2, 3, 4, L"five") == L"1234five");
    CHECK(StrFormatSize(L"a[]b", -12) == 5);
}

TEST_CASE("template mistakes throw CheckFailed before anything is allocated")
{
    CHECK(CheckFailure(L"a[]b") == L"FormatArg::Size got undefined argument");
    CHECK(CheckFailure(L"ends in [") == L"StrFormatSize unknown format");
    CHECK(CheckFailure(L"[x]") == L"StrFormatSize unknown format");
    try {
        StrFormat(L"[][][][][][]", 1, 2, 3, 4, 5);
        FAIL("no exception");
    } catch (const CheckFailed& e) {
        CHECK(Str(e.text) == L"StrFormatSize used too many arguments");
    }
    FormatArg undefined;
    wchar_t buffer[4];
    int64_t position = 0;
    CHECK_THROWS_AS(undefined.StrArg(buffer, position, 4), CheckFailed);
    FormatArg longText(L"abcd");
    CHECK_THROWS_AS(longText.StrArg(buffer, position, 4), IndexError);
}

} // TEST_SUITE
