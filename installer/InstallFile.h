// Puts one archive entry at its place, letting the user retry a full disk or a file in use.
#ifndef LUMIVO_INSTALLER_INSTALLFILE_H
#define LUMIVO_INSTALLER_INSTALLFILE_H

#include "core/Str.h"

struct InstallHost;

// Reads the entry once and writes it to destination (through destination + "$$", stamped with
// the entry's time, FILE_ATTRIBUTE_NORMAL). A full disk, a denied access or a sharing violation
// asks Retry or Cancel and writes the same bytes again on Retry, as often as the user asks;
// Cancel raises Abort. A silent run retries a few times after a short wait, then gives up with
// Abort. Other errors pass to the caller. The entry's size in bytes.
int64_t InstallFile(InstallHost& host, const Str& entryName, const Str& destination);

#endif
