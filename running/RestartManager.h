// The Restart Manager (rstrtmgr.dll): which processes hold given files, shutting them down and
// starting them again. Loaded from System32 at its first use, so that a run that has nothing to
// look for never loads it; tests put answers of their own in its place.
#ifndef LUMIVO_RUNNING_RESTARTMANAGER_H
#define LUMIVO_RUNNING_RESTARTMANAGER_H

#include <windows.h>
#include <restartmanager.h>

struct RestartManagerCalls {
    decltype(&RmStartSession) startSession;
    decltype(&RmEndSession) endSession;
    decltype(&RmRegisterResources) registerResources;
    decltype(&RmGetList) getList;
    decltype(&RmShutdown) shutdown;
    decltype(&RmRestart) restart;
    decltype(&RmAddFilter) addFilter;                 // Windows 7 and later; may be null
    decltype(&RmCancelCurrentTask) cancelCurrentTask; // may be null
};

// The calls in use: those given to UseRestartManager, else rstrtmgr.dll's; null when it cannot be
// loaded or lacks one of the first six.
const RestartManagerCalls* RestartManager();

// For tests: these calls instead of the system's (null: the system's again). They must outlive
// their use.
void UseRestartManager(const RestartManagerCalls* calls);

#endif
