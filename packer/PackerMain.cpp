// lumivo-pack: builds Lumivo setup programs on Linux and reads them.
#include "packer/BuildCommand.h"
#include "packer/HelpText.h"
#include "packer/InitCommand.h"
#include "packer/PackError.h"
#include "packer/PeImage.h"
#include "packer/SetupCommands.h"
#include "packer/VersionCommand.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

static int Run(const std::vector<std::string>& args)
{
    if (args.empty()) {
        std::fputs(HelpText("").c_str(), stderr);
        return ExitRefused;
    }
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help") {
        std::fputs(HelpText("").c_str(), stdout);
        return ExitOk;
    }
    if (command == "--version" || command == "version") {
        std::fputs(VersionText().c_str(), stdout);
        return ExitOk;
    }
    if (command == "help") {
        std::fputs(HelpText(rest.empty() ? "" : rest[0]).c_str(), stdout);
        return ExitOk;
    }
    if (command == "build")
        return RunBuild(rest);
    if (command == "init")
        return RunInit(rest);
    if (command == "list")
        return RunList(rest);
    if (command == "verify")
        return RunVerify(rest);
    if (command == "extract")
        return RunExtract(rest);
    Refuse("unknown command \"" + command + "\" (see lumivo-pack --help)");
}

int main(int argc, char** argv)
{
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const PackError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "lumivo-pack: %s\n", error.message.c_str());
        return error.status;
    } catch (const PeFormatError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "lumivo-pack: %s\n", error.message.c_str());
        return ExitRefused;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "lumivo-pack: out of memory\n");
        return ExitDamaged;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumivo-pack: %s\n", error.what());
        return ExitDamaged;
    }
}
