#include "core/AppContext.h"

#include "core/Error.h"
#include "core/Owned.h"

#include <windows.h>
#include <shellapi.h>

int32_t Language = LangPolish;

static DWORD ContextSlot = TLS_OUT_OF_INDEXES; // allocated once, never freed

void CreateAppContext(AppContext* context, HINSTANCE instance)
{
    context->arguments.makeEmpty();
    context->exitCode = 0;
    try {
        if (ContextSlot == TLS_OUT_OF_INDEXES) {
            DWORD slot = TlsAlloc();
            if (slot == TLS_OUT_OF_INDEXES)
                ThrowLastError(nullptr, L"TlsAlloc");
            ContextSlot = slot;
        }
        if (!TlsSetValue(ContextSlot, context))
            ThrowLastError(nullptr, L"TlsSetValue");
        context->instance = instance;

        context->arguments = SplitCommandLine(GetCommandLineW());
    } catch (const Error&) {
        if (ContextSlot != TLS_OUT_OF_INDEXES)
            TlsSetValue(ContextSlot, nullptr);
        throw;
    }
}

StrArray SplitCommandLine(const wchar_t* commandLine)
{
    int count = 0;
    OwnedLocal vector(CommandLineToArgvW(commandLine, &count));
    if (!vector)
        ThrowLastError(nullptr, L"CommandLineToArgvW");
    LPWSTR* arguments = static_cast<LPWSTR*>(vector.get());
    StrArray split;
    split.makeEmpty();
    for (int i = 1; i < count; i++)
        split.append(Str(arguments[i]));
    return split;
}

void DestroyAppContext(AppContext* context)
{
    if (ContextSlot != TLS_OUT_OF_INDEXES)
        TlsSetValue(ContextSlot, nullptr);
    context->arguments.release();
}

AppContext* CurrentAppContext()
{
    AppContext* context = nullptr;
    if (ContextSlot != TLS_OUT_OF_INDEXES)
        context = static_cast<AppContext*>(TlsGetValue(ContextSlot));
    if (!context)
        throw InternalError();
    return context;
}

StrArray AppArguments()
{
    return CurrentAppContext()->arguments;
}

HINSTANCE AppInstance()
{
    return CurrentAppContext()->instance;
}

Str ModuleFileName()
{
    wchar_t path[2999];
    DWORD length = GetModuleFileNameW(AppInstance(), path, 2999);
    if (length == 0)
        ThrowLastError(nullptr, L"GetModuleFileNameW");
    return Str(path, length < 2999 ? length : 2998);
}
