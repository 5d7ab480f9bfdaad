// lumivo-pack list, verify and extract: reading the archive of a built setup program.
#ifndef LUMIVO_PACKER_SETUPCOMMANDS_H
#define LUMIVO_PACKER_SETUPCOMMANDS_H

#include <string>
#include <vector>

// Each takes the arguments after its command word and returns the exit status.
int RunList(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunExtract(const std::vector<std::string>& args);

#endif
