// The steps of an update installer inside the transaction of its installation: a kept file only
// counted, the files that this version no longer has removed (kept aside, so that a failure puts
// them back), and once the installation is final, the folders they leave empty.
#ifndef LUMIVO_UPDATE_UPDATESTEPS_H
#define LUMIVO_UPDATE_UPDATESTEPS_H

#include "core/Array.h"
#include "core/Str.h"
#include "installer/InstallHost.h"
#include "installer/transaction/InstallTransaction.h"
#include "update/UpdatePlan.h"

#include <stdint.h>

// A file that stays as the base has it (and was checked to be so): logged; its size, which counts
// as installed.
int64_t KeepFile(InstallHost& host, const Str& entryName, const Str& destination);

// Removes through the transaction each file that the archive lists as removed, when the base
// installed it and this installation does not install it again (files: the relative names it
// installs). A file that cannot be removed raises its code with the path.
void RemoveOldFiles(InstallHost& host, InstallTransaction& transaction, const UpdatePlan& plan,
                    const StrArray& files);

// After the installation is final: removes the base's directories that this version does not
// need (directories: the relative ones it needs), the deepest first, each only when empty.
void RemoveEmptiedDirectories(const UpdatePlan& plan, const StrArray& directories);

#endif
