#include "tests/app/AppScene.h"

#include "archive/ArchiveReader.h"
#include "installer/UninstallRegistration.h"
#include "script/InstallScript.h"
#include "support/AlertAnswers.h"
#include "support/ArchiveBuilder.h"

#include <objbase.h>

#include <utility>

AppScene::AppScene()
{
    CoInitialize(nullptr);
    CreateAppContext(&context, GetModuleHandleW(nullptr));
    context.exitCode = 1;
    Language = LangEnglish;
    isAdmin = true;
    archive = RawRecord(u"_de_install.exe", "uninstaller") + RawRecord(u"_de_installu.exe", "uninstaller") +
              ZlibRecord(u"hello.exe", "program") + ZlibRecord(u"licence.txt", "First line\nsecond line\n") +
              EndRecord();
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
    ScriptValues.clear();
    ScriptValues.set(Str(L"copy-files"), Str(L"hello.exe"));
    Script = InstallScript();
    Script.programName = L"LumivoAppTest";
    Script.exeFile = L"hello.exe";
    Script.installDir = scratch.path(L"LumivoAppTest").c_str();
    Script.licenceEntry = L"licence.txt";
    Script.copyrightText = L"Copyright (c) Quenbar";
    Script.startMenuText = L"yes";
    Script.startMenuShortcut = true;
    Script.preferShared = true;
}

AppScene::~AppScene()
{
    StopAnsweringAlerts();
    UnregisterUninstaller(HKEY_LOCAL_MACHINE, UninstallKeyPath(Str(L"LumivoAppTest")));
    UnregisterUninstaller(HKEY_CURRENT_USER, UninstallKeyPath(Str(L"LumivoAppTest")));
    ReleaseInstallScript();
    ReleaseArchive();
    Language = LangPolish;
    DestroyAppContext(&context);
    CoUninitialize();
}

void AppScene::useArchive(std::string bytes)
{
    ReleaseArchive();
    archive = std::move(bytes);
    UseArchive(Bytes(archive), static_cast<int32_t>(archive.size()));
}

HWND ThreadWindow(const wchar_t* className)
{
    struct Search {
        const wchar_t* className;
        HWND found;
    } search = {className, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            Search* s = reinterpret_cast<Search*>(param);
            wchar_t name[64];
            GetClassNameW(window, name, 64);
            if (IsWindowVisible(window) && lstrcmpW(name, s->className) == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512];
    int length = GetWindowTextW(window, text, 512);
    return std::wstring(text, length > 0 ? length : 0);
}
