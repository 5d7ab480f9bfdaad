// The data file that the uninstaller reads: what was installed and what else to remove.
#ifndef LUMIVO_INSTALLER_UNINSTALLDATA_H
#define LUMIVO_INSTALLER_UNINSTALLDATA_H

#include "core/Array.h"
#include "core/Str.h"

struct UninstallData {
    Str installDir;       // exactly as used for the installation
    StrArray files;       // relative names of the installed files, in installation order
    StrArray directories; // relative directories created for them, shortest first
    Str deleteFiles;      // the script's lists, unchanged; empty ones are left out
    Str askDeleteFiles;
    Str deleteDirectories;
    Str exeFile;
    Str programName;
    bool perUserInstall;
    StrArray createdDirectories; // full paths of the folders made above installDir for it, outermost first
    Str version;                 // the script's, empty when it names none
};

// The text, lines joined by line feeds: path, auto-delete-files and auto-delete-directories (both
// in reverse order), the non-empty delete lists, exe-file, name, per user private-install=1 and,
// when folders above the installation directory were made for it, created-directories (in
// reverse order: innermost first, as they are removed; uninstallers that do not know the line
// ignore it), and version when the script names one (which an update installer checks).
Str BuildUninstallData(const UninstallData& data);

// The text as the file holds it: UTF-8 without a byte-order mark, each line feed as CR LF.
ByteArray UninstallDataBytes(const Str& text);

// Writes the file through a new temporary file beside it (flushed, then moved over path), so that
// a reader never sees a half-written file. The temporary file is always removed on failure.
void WriteUninstallData(const Str& path, const Str& text);

#endif
