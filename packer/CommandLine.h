// The command line of one packer command: operands, options with values and flags.
#ifndef LUMIVO_PACKER_COMMANDLINE_H
#define LUMIVO_PACKER_COMMANDLINE_H

#include <map>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
    std::string shortName; // "-o", or empty
    std::string longName;  // "--output"; the key of the option
    bool takesValue;
};

struct CommandLine {
    std::vector<std::string> operands;
    std::map<std::string, std::string> values; // by long name
    std::set<std::string> flags;                // by long name
    bool help = false;                          // -h or --help anywhere

    bool has(const std::string& longName) const { return values.count(longName) || flags.count(longName); }
    std::string value(const std::string& longName, const std::string& fallback = "") const;
};

// Splits the arguments after the command name: "--name value", "--name=value", "-o value",
// "--" ends the options. Refuses unknown options and options without their value.
CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                             const std::string& command);

// A whole number in [low, high] given to an option, or a refusal naming the option.
int IntegerOption(const CommandLine& line, const std::string& longName, int fallback, int low, int high);

#endif
