// The installation that an update installer updates: where it is, and whether it is exactly the
// base that the update was built against.
#ifndef LUMIVO_UPDATE_INSTALLEDBASE_H
#define LUMIVO_UPDATE_INSTALLEDBASE_H

#include "core/Str.h"
#include "installer/InstallHost.h"
#include "installer/InstallerSwitches.h"
#include "update/UpdatePlan.h"

// For an update installer run without a choice of its own: per user when the program is
// registered for the current user only (the update goes where its base is), else as decided.
InstallKind InstalledBaseKind(const Str& programName);

// For an update installer: the installation directory becomes the folder that the list of
// installed programs names for the program (InstallLocation, per user or for all users as
// Script says), when it names one.
void UseInstalledLocation();

// Before anything changes: the installation in Script.installDir must hold the data file dataPath,
// naming the base's version when it names one (installations of older installers name none, and
// their files alone decide), and every file that the update keeps or patches must have the size
// and CRC-32 that the archive lists. Otherwise one alert names the program, both versions and the
// first file that differs (a silent run logs it), and Abort is raised with nothing changed. Fills
// the plan's lists of what the base installed. Errors other than absence (a file that cannot be
// read) pass to the caller.
void CheckInstalledBase(InstallHost& host, UpdatePlan& plan, const Str& dataPath, const Str& version);

#endif
