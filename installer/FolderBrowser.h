// Choosing the installation folder with the shell's folder picker.
#ifndef LUMIVO_INSTALLER_FOLDERBROWSER_H
#define LUMIVO_INSTALLER_FOLDERBROWSER_H

#include "core/Str.h"

class MainForm;

// Opens the picker at the parent of the folder in the directory field; the chosen folder followed
// by the program's name replaces the field's text. Cancelling changes nothing.
void BrowseForDirectory(MainForm& form);

// The field's new text for a chosen folder: the folder, a backslash unless it ends in one, and
// the program's name. IndexError when it would not fit the picker's buffer.
Str ProposedDirectory(const wchar_t* chosenFolder, const Str& programName);

#endif
