#include "packer/CommandLine.h"

#include "packer/PackError.h"

std::string CommandLine::value(const std::string& longName, const std::string& fallback) const
{
    auto found = values.find(longName);
    return found == values.end() ? fallback : found->second;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                             const std::string& command)
{
    CommandLine line;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            line.help = true;
            continue;
        }
        std::string name = arg, attached;
        bool hasAttached = false;
        size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            attached = arg.substr(equals + 1);
            hasAttached = true;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : specs)
            if (name == candidate.longName || (!candidate.shortName.empty() && name == candidate.shortName))
                spec = &candidate;
        if (!spec)
            Refuse("unknown option " + arg + " for " + command + " (see lumivo-pack " + command + " --help)");
        if (!spec->takesValue) {
            if (hasAttached)
                Refuse("option " + name + " takes no value");
            line.flags.insert(spec->longName);
            continue;
        }
        if (!hasAttached) {
            if (i + 1 >= args.size())
                Refuse("option " + name + " needs a value");
            attached = args[++i];
        }
        line.values[spec->longName] = attached;
    }
    return line;
}

int IntegerOption(const CommandLine& line, const std::string& longName, int fallback, int low, int high)
{
    if (!line.values.count(longName))
        return fallback;
    std::string text = line.value(longName);
    long value = 0;
    bool good = !text.empty() && text.size() <= 9;
    for (char c : text)
        good = good && c >= '0' && c <= '9';
    if (good)
        value = std::stol(text);
    if (!good || value < low || value > high)
        Refuse("option " + longName + " takes a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not \"" + text + "\"");
    return static_cast<int>(value);
}
