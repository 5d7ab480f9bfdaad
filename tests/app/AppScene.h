// The installer's world for one test of the application, and looking at its windows.
#ifndef LUMIVO_TESTS_APP_APPSCENE_H
#define LUMIVO_TESTS_APP_APPSCENE_H

#include "core/AppContext.h"
#include "support/TestFiles.h"

#include <windows.h>

#include <string>

// Context, COM, an archive in memory (the two uninstallers, hello.exe and licence.txt) and the
// settings of a program "LumivoAppTest" installed into a scratch folder, in English, as
// administrator. Everything is put back when it ends.
struct AppScene {
    AppScene();
    ~AppScene();
    AppScene(const AppScene&) = delete;
    AppScene& operator=(const AppScene&) = delete;
    // Another archive from now on (kept alive by the scene).
    void useArchive(std::string bytes);

    AppContext context = {};
    ScratchDir scratch;
    std::string archive;
};

// The visible window of the class that belongs to this thread, or null.
HWND ThreadWindow(const wchar_t* className);
std::wstring WindowText(HWND window);

#endif
