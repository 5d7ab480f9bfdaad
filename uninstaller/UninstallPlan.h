// What one uninstallation removes, read from the data file that the installer left, and the
// rule that keeps every removal inside the installation directory.
#ifndef LUMIVO_UNINSTALLER_UNINSTALLPLAN_H
#define LUMIVO_UNINSTALLER_UNINSTALLPLAN_H

#include "core/Array.h"
#include "core/Str.h"

struct UninstallPlan {
    Str dataFile;            // the data file's own path
    Str installDir;          // path=, normalised, without a trailing backslash
    StrArray autoFiles;      // installed files, relative, last installed first
    StrArray autoDirectories; // directories created for them, longest first
    StrArray deleteFiles;    // further files (patterns allowed), removed without asking
    StrArray askDeleteFiles; // further files removed after one question
    StrArray deleteDirectories; // directories removed with their contents
    Str exeFile;
    Str programName;
    bool perUser; // private-install=1: per-user links and registry
    StrArray createdDirectories; // folders above installDir made for it, innermost first (full paths)
};

// Whether path names an entry directly inside dir (after normalisation, without regard to case).
bool LiesDirectlyIn(const Str& path, const Str& dir);

// Whether folder lies on the way from a drive (or share) to dir, neither the root nor dir itself.
bool IsFolderAbove(const Str& folder, const Str& dir);

// The plan from the data file's text (UTF-8 decoded; lines "key=value", CR LF or LF).
UninstallPlan ParseUninstallData(const Str& dataFile, const Str& text);

// The first value of the plan that would make a removal reach outside the installation
// directory or name something other than an ordinary file, or the empty string when there is
// none: a path= that is not absolute, is a drive's root or is not the data file's own folder; a
// list item that breaks the rule of relative names (IsContainedRelativePath: absolute, "." or
// "..", a device name, a trailing dot or space, a control character; patterns only where
// patterns belong, a final "\" only on folders); a program name whose link would break it;
// a created directory that is not a folder above path= (or is a drive's root).
Str UnsafeItem(const UninstallPlan& plan);

#endif
