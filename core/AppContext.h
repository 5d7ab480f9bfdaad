// The record of one running application, reached from anywhere on its thread through a
// thread-local slot, and the interface language beside it.
#ifndef LUMIVO_CORE_APPCONTEXT_H
#define LUMIVO_CORE_APPCONTEXT_H

#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

struct HINSTANCE__;

struct AppContext {
    int32_t exitCode;
    HINSTANCE__* instance;
    StrArray arguments; // the command line without the program name
};

// Fills the context, binds it to the calling thread and splits the command line. On failure the
// thread is left unbound.
void CreateAppContext(AppContext* context, HINSTANCE__* instance);
// Unbinds the context and releases its arguments.
void DestroyAppContext(AppContext* context);

// The arguments after the program name, split by the standard Windows rules
// (CommandLineToArgvW): quotes removed, backslashes before a quote halved.
StrArray SplitCommandLine(const wchar_t* commandLine);

// The calling thread's context; InternalError when there is none.
AppContext* CurrentAppContext();
StrArray AppArguments();
HINSTANCE__* AppInstance();
// The program's own path (GetModuleFileNameW of the instance).
Str ModuleFileName();

// The interface language: LangPolish selects the Polish texts, anything else the English ones.
enum : int32_t { LangEnglish = 9, LangPolish = 21 };
extern int32_t Language;

// A text pair chosen by the interface language, Polish first.
inline const wchar_t* Tr(const wchar_t* polish, const wchar_t* english)
{
    return Language == LangPolish ? polish : english;
}

#endif
