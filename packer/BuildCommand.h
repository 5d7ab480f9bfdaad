// lumivo-pack build: an application folder packed behind the installer stub.
#ifndef LUMIVO_PACKER_BUILDCOMMAND_H
#define LUMIVO_PACKER_BUILDCOMMAND_H

#include "packer/EntryPacker.h"

#include <filesystem>
#include <string>
#include <vector>

struct BuildOptions {
    std::filesystem::path appDir; // must hold install.script
    // Further folders whose files join the archive, named relative to their own folder (files
    // that the installer itself brings, such as its uninstaller).
    std::vector<std::filesystem::path> extraFolders;
    // The uninstaller program, added as "_de_install.exe" and "_de_installu.exe" unless the folders
    // already hold files of those names; none when empty.
    std::filesystem::path uninstaller;
    std::filesystem::path output;
    std::filesystem::path stub;
    std::filesystem::path icon; // replaces the stub's icon group 101 when given
    bool appended = false;      // the archive behind the image instead of in resource 103
    EntryCodec codec = EntryCodec::Deflate;
    bool solid = true;      // LZMA: files in solid blocks; otherwise one stream per file
    uint64_t blockSize = 0; // of solid blocks; 0: the default rule (SolidPlan.h)
    int level = LevelBySize; // deflate's
    int jobs = 1;
    bool quiet = false;
    bool followLinks = false; // pack links to files inside the folders instead of refusing them
    // An update installer that installs over this earlier setup program only, carrying only what
    // changed since, when given.
    std::filesystem::path base;
};

// Builds the setup program; throws PackError (refusals before anything is written).
void BuildSetup(const BuildOptions& options);

// The stub used when none is given: lumivo-stub.exe in share/lumivo beside the bin folder of the
// running packer (an installed one), else next to it (a built one).
std::filesystem::path DefaultStub();
// lumivo-uninstall.exe beside the default stub.
std::filesystem::path DefaultUninstaller();

// The command line of build (after the word "build"); returns the exit status.
int RunBuild(const std::vector<std::string>& args);

#endif
