// The settings that make one installer differ from another, taken from the install.script entry
// of the payload archive at start-up.
#ifndef LUMIVO_SCRIPT_INSTALLSCRIPT_H
#define LUMIVO_SCRIPT_INSTALLSCRIPT_H

#include "core/Str.h"
#include "script/ScriptValues.h"

struct InstallScript {
    Str programName;
    Str exeFile; // relative to the installation directory
    Str installDir;
    Str copyrightText;
    Str licenceEntry; // archive entry with the licence text
    Str startMenuText;
    bool startMenuShortcut;
    Str desktopText;
    bool desktopShortcut;
    Str sendToText;
    bool sendToShortcut;
    Str titleText;
    bool perUserInstall; // per-user folders and registry
    bool offerAllUsers;
    bool preferShared;
    bool updateMode;
};

// The process-wide settings.
extern InstallScript Script;
// Whether the user runs with administrator rights; set by start-up before LoadInstallScript.
extern bool isAdmin;

// Locates the archive, parses install.script into ScriptValues, fixes Language and fills Script.
// Raises the archive's errors when the entry is missing or damaged.
void LoadInstallScript();
// Releases ScriptValues and every text of Script.
void ReleaseInstallScript();

// The all-users program folder followed by a backslash ("C:\Program Files\" when the shell
// cannot tell).
Str ProgramFilesDir();

// The headline used when the script gives no title: "Instalator programu " + name in Polish,
// name + " Setup" in English.
Str DefaultHeadline();

#endif
