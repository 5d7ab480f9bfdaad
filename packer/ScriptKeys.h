// The keys of an install.script as the installer reads them: UTF-8 (a byte-order mark dropped),
// lines ending at CR or LF, "#" in column 0 a comment, each line split at its first "=", nothing
// trimmed, keys compared without regard to case, a later line winning.
#ifndef LUMIVO_PACKER_SCRIPTKEYS_H
#define LUMIVO_PACKER_SCRIPTKEYS_H

#include <filesystem>
#include <map>
#include <string>

struct ScriptKeys {
    std::map<std::u16string, std::u16string> values; // by key folded to lower case

    // The value of the alias when it is not empty, else of the key; empty when neither is set.
    std::u16string value(const std::u16string& key, const std::u16string& alias = u"") const;
};

// Parses the text of a script; malformed UTF-8 becomes U+FFFD, as the installer decodes it.
ScriptKeys ParseScriptKeys(const std::string& text);

// The install.script of an application folder (its name matched without regard to case).
ScriptKeys ReadScriptKeys(const std::filesystem::path& appDir);

#endif
