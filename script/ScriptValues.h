// The key/value pairs of install.script and the rules for reading them: lines end at CR or LF,
// "#" in column 0 starts a comment, a line is split at its first "=", nothing is trimmed, keys
// compare without regard to case and a later line wins (the key keeps its first spelling).
#ifndef LUMIVO_SCRIPT_SCRIPTVALUES_H
#define LUMIVO_SCRIPT_SCRIPTVALUES_H

#include "core/KeyValueList.h"
#include "core/Str.h"

// The program-wide list of the script's pairs.
extern KeyValueList ScriptValues;

// Adds the pairs of text, in the script's syntax, to list (the uninstall data uses it too).
void ParseKeyValueText(const Str& text, KeyValueList& list);

// Adds the pairs of the decoded script text to ScriptValues.
void ParseScriptText(const Str& text);

// The alias's value when it is not empty, else the key's (alias may be null); empty when both
// are absent or empty.
Str ScriptValue(const wchar_t* alias, const wchar_t* key);

// On for exactly "tak" or "yes" in any case.
bool IsYes(const Str& value);

#endif
