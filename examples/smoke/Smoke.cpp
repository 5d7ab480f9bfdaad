// A console program that prints what the core library sees: the arguments as split, the
// interface language and the program's own path.
#include "core/AppContext.h"
#include "core/Error.h"
#include "core/ErrorMessage.h"

#include <windows.h>

#include <stdio.h>

static void Print(const wchar_t* label, const Str& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.text(), static_cast<int>(text.length()), nullptr, 0, nullptr, nullptr);
    char* utf8 = static_cast<char*>(malloc(bytes + 1));
    if (!utf8)
        return;
    WideCharToMultiByte(CP_UTF8, 0, text.text(), static_cast<int>(text.length()), utf8, bytes, nullptr, nullptr);
    utf8[bytes] = 0;
    printf("%ls%s\n", label, utf8);
    free(utf8);
}

int wmain()
{
    AppContext context = {};
    try {
        CreateAppContext(&context, GetModuleHandleW(nullptr));
        StrArray arguments = AppArguments();
        printf("arguments: %lld\n", static_cast<long long>(arguments.length()));
        for (int64_t i = 0; i < arguments.length(); i++)
            Print(L"  ", arguments.at(i));
        LANGID ui = GetUserDefaultUILanguage();
        printf("user interface language: 0x%04x (primary %d, %s)\n", ui, PRIMARYLANGID(ui),
               PRIMARYLANGID(ui) == LangPolish ? "Polish" : "not Polish: English texts with detect-lang");
        printf("default language of the texts: %s\n", Language == LangPolish ? "Polish (21)" : "English (9)");
        Print(L"module path: ", ModuleFileName());
        Language = LangEnglish;
        Print(L"a sample error message: ", ErrorMessage(WinError(2, L"install.script")));
        DestroyAppContext(&context);
    } catch (const Error& error) {
        Print(L"error: ", ErrorMessage(error));
        return 3;
    }
    return 0;
}
