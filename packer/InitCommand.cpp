#include "packer/InitCommand.h"

#include "packer/AtomicFile.h"
#include "packer/CommandLine.h"
#include "packer/EntryName.h"
#include "packer/HelpText.h"
#include "packer/PackError.h"

#include <algorithm>
#include <cstdio>

namespace fs = std::filesystem;

static std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The regular files directly in the folder whose names end in .exe, sorted.
static std::vector<std::string> TopLevelPrograms(const fs::path& appDir)
{
    std::vector<std::string> programs;
    std::error_code error;
    for (const fs::directory_entry& item : fs::directory_iterator(appDir, error)) {
        std::string name = item.path().filename().string();
        std::error_code typeError;
        if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".exe" && item.is_regular_file(typeError))
            programs.push_back(name);
    }
    std::sort(programs.begin(), programs.end());
    return programs;
}

static std::string ExeLine(const fs::path& appDir, const std::string& exe)
{
    if (!exe.empty()) {
        std::string name = exe;
        std::replace(name.begin(), name.end(), '/', '\\');
        return "exe-file=" + name + "\n";
    }
    std::vector<std::string> programs = TopLevelPrograms(appDir);
    if (programs.size() == 1)
        return "exe-file=" + programs[0] + "\n";
    if (programs.empty())
        return "# The folder holds no .exe at its top: name the program here (bin\\app.exe), or the\n"
               "# installer refuses to open.\n# exe-file=\n";
    std::string list;
    for (const std::string& program : programs)
        list += (list.empty() ? "" : ", ") + program;
    return "# The folder holds several programs (" + list + "): keep the main one.\n# exe-file=" + programs[0] +
           "\n";
}

std::string StarterScript(const fs::path& appDir, const std::string& name, const std::string& exe)
{
    std::string program = name.empty() ? fs::absolute(appDir).lexically_normal().filename().string() : name;
    if (program.empty())
        program = fs::absolute(appDir).lexically_normal().parent_path().filename().string();
    return "# install.script of " + program + ", written by lumivo-pack init.\n"
           "# One key=value per line; keys ignore case; nothing around \"=\" is trimmed; \"#\" in the\n"
           "# first column starts a comment. Lists separate their items with \"|\", and entry names use\n"
           "# backslashes (docs\\readme.txt). Lumivo's README explains every key.\n"
           "\n"
           "# The program's name: the installation folder, the shortcuts, the list of installed programs.\n"
           "name=" + program + "\n"
           "# name-pl=\n"
           "\n"
           "# The main executable, relative to the installation folder; the shortcuts start it.\n" +
           ExeLine(appDir, exe) +
           "\n"
           "# What to install: \"*\" matches every entry but install.script and the uninstaller programs\n"
           "# (the installer writes the one it needs); a list such as app.exe|docs\\* installs only those.\n"
           "copy-files=*\n"
           "\n"
           "# Check boxes for a Start-menu and a desktop shortcut, checked when yes.\n"
           "start-menu-shortcut=yes\n"
           "desktop-shortcut=yes\n"
           "\n"
           "# The window speaks the language of Windows (Polish or English); without this key, Polish.\n"
           "detect-lang=1\n"
           "\n"
           "# Shown in the list of installed programs and in the setup program's properties.\n"
           "# publisher=\n"
           "# version=1.0\n"
           "\n"
           "# The window's title and the banner's second line (\"" + program + " Setup\" without a title).\n"
           "# title=\n"
           "# title-pl=\n"
           "# copyright=\n"
           "# copyright-pl=\n"
           "\n"
           "# A licence to show: an entry holding UTF-8 text, and the one for Polish.\n"
           "# licence=licence.txt\n"
           "# licence-pl=licencja.txt\n"
           "\n"
           "# What the uninstaller removes besides the installed files: files, files after asking, folders.\n"
           "# delete-files=settings.ini\n"
           "# ask-delete-files=notes.txt\n"
           "# delete-directories=cache\n"
           "\n"
           "# \"no\": users without administrator rights install for themselves without being asked\n"
           "# to elevate.\n"
           "# prefer-shared=no\n";
}

int RunInit(const std::vector<std::string>& args)
{
    CommandLine line = ParseCommandLine(args, {{"", "--name", true}, {"", "--exe", true}}, "init");
    if (line.help) {
        std::fputs(HelpText("init").c_str(), stdout);
        return ExitOk;
    }
    if (line.operands.size() != 1)
        Refuse("init takes one application folder (see lumivo-pack init --help)");
    fs::path appDir = line.operands[0];
    std::string name = line.value("--name"), exe = line.value("--exe");
    for (const std::string* value : {&name, &exe}) {
        std::u16string units;
        if (value->find_first_of("\r\n") != std::string::npos || !Utf8ToUtf16(*value, units))
            Refuse("--name and --exe take one line of UTF-8 text");
    }
    std::error_code error;
    if (!fs::is_directory(appDir, error))
        Refuse("\"" + appDir.string() + "\" is not a folder");
    for (const fs::directory_entry& item : fs::directory_iterator(appDir, error)) {
        std::u16string units;
        if (Utf8ToUtf16(item.path().filename().string(), units) && FoldedName(units) == u"install.script")
            Refuse("\"" + item.path().string() + "\" exists; init writes only a new install.script");
    }
    fs::path script = appDir / "install.script";
    std::string text = StarterScript(appDir, name, exe);
    AtomicFile file(script);
    file.write(text.data(), text.size());
    file.commit();
    std::fprintf(stderr, "lumivo-pack: wrote %s\n", script.c_str());
    return ExitOk;
}
