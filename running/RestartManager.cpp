#include "running/RestartManager.h"

static const RestartManagerCalls* Chosen = nullptr;

template <class Function>
static bool Take(HMODULE library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

// Loaded once and kept for the rest of the process, like any imported DLL.
static const RestartManagerCalls* SystemRestartManager()
{
    static RestartManagerCalls calls;
    static int state = 0; // 0 not tried, 1 loaded, 2 missing
    if (state == 0) {
        state = 2;
        HMODULE library = LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (library && Take(library, "RmStartSession", calls.startSession) &&
            Take(library, "RmEndSession", calls.endSession) &&
            Take(library, "RmRegisterResources", calls.registerResources) &&
            Take(library, "RmGetList", calls.getList) && Take(library, "RmShutdown", calls.shutdown) &&
            Take(library, "RmRestart", calls.restart)) {
            Take(library, "RmAddFilter", calls.addFilter);
            Take(library, "RmCancelCurrentTask", calls.cancelCurrentTask);
            state = 1;
        }
    }
    return state == 1 ? &calls : nullptr;
}

const RestartManagerCalls* RestartManager()
{
    return Chosen ? Chosen : SystemRestartManager();
}

void UseRestartManager(const RestartManagerCalls* calls)
{
    Chosen = calls;
}
