// What an update installer does with the entries of one installation: it installs over one
// earlier version, its base, so it keeps some files as the base has them (checked, never written),
// patches others from the installed file, writes the rest as any installer does, and removes the
// files that the base had and this version does not. A full installer's plan says so
// (isUpdate false) and changes nothing.
#ifndef LUMIVO_UPDATE_UPDATEPLAN_H
#define LUMIVO_UPDATE_UPDATEPLAN_H

#include "archive/EntryPipeline.h"
#include "core/Array.h"
#include "core/Str.h"

#include <stdint.h>

// An installed file that must be exactly the base's before the update changes anything.
struct BaseFile {
    Str name; // relative, as the installation lists it
    Str path;
    int64_t size;
    uint32_t crc;
};
typedef Array<BaseFile, false, 4> BaseFileArray;

struct UpdatePlan {
    bool isUpdate = false;
    Str baseVersion;         // the version it installs over, as the base's script names it (may be empty)
    StrArray removed;        // files of the base that this version no longer has, as the archive lists them
    ByteArray kept;          // by entry index: 1 for an entry that stays as the base has it
    BaseFileArray baseFiles; // the kept and patched files, in installation order
    StrArray writtenNames;   // the entries that are written, in order (the pipeline's list)
    StrArray writtenPaths;   // their destinations
    StrArray basePaths;      // the same, in an array of its own that the workers read
    // From the installed data file, once the base has been checked:
    StrArray installedFiles;       // the files the base installed
    StrArray installedDirectories; // the directories it made for them
    StrArray createdDirectories;   // the folders it made above the installation directory
};

// The plan for entries (the uninstaller first, then the program's files) and their destinations,
// from the archive in use. For a full installer writtenNames and writtenPaths are the very arrays
// given.
UpdatePlan PlanUpdate(const StrArray& entryNames, const StrArray& entryPaths);

// Whether the archive in use is an update installer's.
bool IsUpdateInstaller();

// The reader that gives the pipeline the installed file under each patch (the plan must outlive
// the workers' use of it).
PatchBaseReader InstalledBaseReader(const UpdatePlan& plan);

#endif
