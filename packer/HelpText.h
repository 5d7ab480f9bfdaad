// The --help texts of the packer and of each of its commands.
#ifndef LUMIVO_PACKER_HELPTEXT_H
#define LUMIVO_PACKER_HELPTEXT_H

#include <string>

// The help of a command ("build", "list", "verify", "extract"), or the overview for any other
// name (the empty one included).
std::string HelpText(const std::string& command);

#endif
