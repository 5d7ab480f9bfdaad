#include "core/ErrorMessage.h"

#include "core/AppContext.h"

namespace {

// How a message is built: before + quoted name + after, or a fixed text, or "number" + code.
enum Shape { Quoted, Fixed, Number, Empty };

struct MessageText {
    Shape shape;
    const wchar_t* before; // Fixed: the whole text
    const wchar_t* after;
};

struct MessageRow {
    int32_t codes[4];
    MessageText polish;
    MessageText english;
};

const MessageRow Messages[] = {
    {{2, 3, 15, 110}, {Quoted, L"Nie znalazłem \"", L"\"."}, {Quoted, L"\"", L"\" not found."}},
    {{5, 32, 33},
     {Quoted, L"Plik \"", L"\" jest niedostępny\nMoże być używany przez inny program."},
     {Quoted, L"Access denied for file \"", L"\"\nMay be used by another program."}},
    {{8, 14}, {Empty, nullptr, nullptr}, {Empty, nullptr, nullptr}},
    {{19}, {Quoted, L"Plik \"", L"\" chroniony przed zapisem."}, {Quoted, L"\"", L"\" is write protected."}},
    {{29}, {Quoted, L"Nieudany zapis do pliku \"", L"\"."}, {Quoted, L"Write fault, file \"", L"\"."}},
    {{30}, {Quoted, L"Nieudany odczyt z pliku \"", L"\"."}, {Quoted, L"Read fault, file \"", L"\"."}},
    {{39, 112},
     {Quoted, L"Brak wolnego miejsca dla \"", L"\"."},
     {Quoted, L"There is no free space for \"", L"\"."}},
    {{80, 183}, {Quoted, L"\"", L"\" już istnieje."}, {Quoted, L"\"", L"\" already exists."}},
    {{111}, {Fixed, L"Przekroczono granice bufora.", nullptr}, {Fixed, L"Buffer overflow.", nullptr}},
    {{123, 161, 267},
     {Fixed, L"Nieprawidłowa nazwa pliku lub katalogu", nullptr},
     {Fixed, L"Invalid file or directory name.", nullptr}},
    {{145}, {Quoted, L"Katalog \"", L"\" musi być pusty."}, {Quoted, L"Directory \"", L"\" is not empty."}},
    {{206}, {Quoted, L"Zbyt długa nazwa \"", L"\"."}, {Quoted, L"Name too long \"", L"\"."}},
    {{1112}, {Fixed, L"Brak dysku w napędzie.", nullptr}, {Fixed, L"No disk.", nullptr}},
    {{ErrIndex},
     {Fixed, L"Indeks poza dozwolonymi granicami.", nullptr},
     {Fixed, L"index out of range.", nullptr}},
    {{ErrInternal}, {Fixed, L"Niespodziewany błąd wewnętrzny.", nullptr}, {Fixed, L"Internal error.", nullptr}},
    {{ErrEof},
     {Quoted, L"Niespodziewany koniec pliku \"", L"\"."},
     {Quoted, L"Unexpected end of file \"", L"\"."}},
    {{ErrTooLarge},
     {Quoted, L"Zbyt duży rozmiar pliku \"", L"\". Maks. 2GB."},
     {Quoted, L"File \"", L"\". Max. 2GB."}},
    {{ErrCorrupted}, {Quoted, L"Uszkodzony plik \"", L"\"."}, {Quoted, L"Corrupted file \"", L"\"."}},
};

const MessageRow* FindRow(int32_t code)
{
    for (const MessageRow& row : Messages)
        for (int32_t rowCode : row.codes)
            if (rowCode == code && rowCode != 0)
                return &row;
    return nullptr;
}

// A code of 0 says nothing: what failed is all there is to tell.
Str NoReasonMessage(const Error& error, bool polish)
{
    const wchar_t* space = error.call ? L" " : L"";
    const wchar_t* call = error.call ? error.call : L"";
    const wchar_t* quote = error.text ? L" (\"" : L"";
    const wchar_t* name = error.text ? error.text : L"";
    const wchar_t* unquote = error.text ? L"\")" : L"";
    const wchar_t* polishPieces[] = {L"Wywołanie systemowe", space, call, quote, name, unquote,
                                     L" nie powiodło się bez podania przyczyny.", nullptr};
    const wchar_t* englishPieces[] = {L"The system call", space, call, quote, name, unquote,
                                      L" failed without giving a reason.", nullptr};
    return ConcatList(polish ? polishPieces : englishPieces);
}

} // namespace

Str ErrorMessage(const Error& error)
{
    bool polish = Language == LangPolish;
    if (error.code == 0)
        return NoReasonMessage(error, polish);
    const MessageRow* row = FindRow(error.code);
    if (!row) {
        Str code = IntToStr(error.code);
        return Concat(polish ? L"Błąd numer " : L"Error number ", code.text(), L".");
    }
    const MessageText& message = polish ? row->polish : row->english;
    switch (message.shape) {
    case Empty:
        return Str();
    case Fixed:
        return Str(message.before);
    default:
        return Concat(message.before, error.text, message.after);
    }
}

Str ErrorDetails(const Error& error)
{
    Str code = IntToStr(error.code);
    const wchar_t* pieces[] = {Language == LangPolish ? L"błąd " : L"error ", code.text(),
                               error.call ? L", " : L"", error.call ? error.call : L"",
                               error.text ? L", " : L"", error.text ? error.text : L"", nullptr};
    return ConcatList(pieces);
}

Str FailureLine(const Str& step, const Error& error)
{
    Str message = ErrorMessage(error);
    Str details = ErrorDetails(error);
    const wchar_t* line[] = {Language == LangPolish ? L"Niepowodzenie (" : L"Failed while ", step.text(),
                             Language == LangPolish ? L"): " : L": ", message.text(), L" (", details.text(), L")",
                             nullptr};
    return ConcatList(line);
}
