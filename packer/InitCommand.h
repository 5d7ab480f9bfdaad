// lumivo-pack init: a commented install.script to start from, for an application folder.
#ifndef LUMIVO_PACKER_INITCOMMAND_H
#define LUMIVO_PACKER_INITCOMMAND_H

#include <filesystem>
#include <string>
#include <vector>

// The script's text: name (the folder's name unless given), exe-file (given, or guessed when the
// folder holds exactly one .exe at its top), copy-files=*, both shortcuts, detect-lang, and the
// other keys as comments.
std::string StarterScript(const std::filesystem::path& appDir, const std::string& name, const std::string& exe);

// The command line of init (after the word "init"); returns the exit status. Refuses to
// overwrite an existing install.script.
int RunInit(const std::vector<std::string>& args);

#endif
