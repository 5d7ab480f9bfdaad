#include "script/InstallScript.h"

#include "archive/ArchiveReader.h"
#include "core/AppContext.h"
#include "core/Path.h"

#include <windows.h>
#include <shlobj.h>

InstallScript Script = {};
bool isAdmin = false;

// A -pl value replaces a setting in Polish when it is not empty.
static void UsePolish(Str& setting, const wchar_t* key)
{
    Str polish = ScriptValues.valueOf(key);
    if (!polish.isEmpty())
        setting = polish;
}

// Only the exact text "no" in any ASCII case turns sharing off; an empty value means yes.
static bool IsSharedPreferred(const Str& value)
{
    if (value.length() != 2)
        return true;
    wchar_t n = value.text()[0], o = value.text()[1];
    return !((n == L'n' || n == L'N') && (o == L'o' || o == L'O'));
}

void LoadInstallScript()
{
    LocateArchive();
    Str text = ReadEntryText(L"install.script");
    ScriptValues.clear();
    ParseScriptText(text);

    if (!ScriptValues.valueOf(L"detect-lang").isEmpty())
        Language = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_POLISH ? LangPolish : LangEnglish;

    Str base = isAdmin ? ProgramFilesDir() : LocalAppDataDir();
    InstallScript settings = {};
    settings.programName = ScriptValue(L"nazwa", L"name");
    settings.exeFile = ScriptValue(L"plik-exe", L"exe-file");
    settings.copyrightText = ScriptValue(nullptr, L"copyright");
    settings.licenceEntry = ScriptValue(L"licencja", L"licence");
    // The default directory ends in the name of the name key, whatever the language.
    settings.installDir = Concat(base, settings.programName);
    settings.startMenuText = ScriptValue(L"skrot-w-start-menu", L"start-menu-shortcut");
    settings.desktopText = ScriptValue(L"skrot-na-pulpicie", L"desktop-shortcut");
    settings.sendToText = ScriptValue(L"skrot-w-menu-wy\u015Blij-do", L"send-to-shortcut");
    settings.titleText = ScriptValue(L"tytul", L"title");
    if (Language == LangPolish) {
        UsePolish(settings.programName, L"name-pl");
        UsePolish(settings.copyrightText, L"copyright-pl");
        UsePolish(settings.licenceEntry, L"licence-pl");
        UsePolish(settings.titleText, L"title-pl");
    }
    settings.startMenuShortcut = IsYes(settings.startMenuText);
    settings.desktopShortcut = IsYes(settings.desktopText);
    settings.sendToShortcut = IsYes(settings.sendToText);
    settings.perUserInstall = !isAdmin;
    settings.offerAllUsers = !isAdmin;
    settings.preferShared = IsSharedPreferred(ScriptValues.valueOf(L"prefer-shared"));
    settings.updateMode = false;
    Script = settings;
}

void ReleaseInstallScript()
{
    ScriptValues.clear();
    Script = InstallScript();
}

Str ProgramFilesDir()
{
    wchar_t path[MAX_PATH + 1] = {};
    if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE)) {
        Str folder(path);
        if (folder.length() > 1)
            return AddTrailingSlash(folder);
    }
    return Str(L"C:\\Program Files\\");
}

Str DefaultHeadline()
{
    if (Language == LangPolish)
        return Concat(L"Instalator programu ", Script.programName.text());
    return Concat(Script.programName.text(), L" Setup");
}
