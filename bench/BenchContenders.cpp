#include "BenchContenders.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

static const char NsisStubs[] = "/usr/share/nsis/Stubs";

std::string FileNameOf(const std::string& name)
{
    std::string file = name;
    for (char& c : file)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return file;
}

// An NSIS script for one payload: one section that copies the folder recursively.
static fs::path WriteNsisScript(const std::string& compressor, const BenchPayload& payload,
                                const fs::path& setup)
{
    fs::path script = setup.parent_path() / (setup.stem().string() + ".nsi");
    std::ofstream out(script);
    out << "Unicode true\n"
        << "Target amd64-unicode\n"
        << "SetCompressor " << compressor << "\n"
        << "Name \"Benchmark\"\n"
        << "OutFile \"" << setup.string() << "\"\n"
        << "InstallDir \"$PROGRAMFILES64\\Benchmark\"\n"
        << "RequestExecutionLevel user\n"
        << "Section\n"
        << "  SetOutPath \"$INSTDIR\"\n"
        << "  File /r /x install.script \"" << payload.files.string() << "/*.*\"\n"
        << "SectionEnd\n";
    return script;
}

static Contender Lumivo(const ContenderPrograms& programs, const std::string& name,
                        const std::vector<std::string>& references, const std::vector<std::string>& options,
                        const fs::path& stub)
{
    Contender c;
    c.name = name;
    c.references = references;
    c.stub = stub;
    c.installDir = "C:\\bench\\" + FileNameOf(name);
    c.deterministic = true;
    c.tools = {programs.pack.string(), "wine"};
    fs::path pack = programs.pack;
    c.pack = [pack, options, stub](const BenchPayload& payload, const fs::path& setup) {
        std::vector<std::string> command = {pack.string(),  "build",  payload.files.string(), "-o",
                                            setup.string(), "--stub", stub.string(),          "-q"};
        command.insert(command.end(), options.begin(), options.end());
        return command;
    };
    std::string dir = c.installDir;
    // Update mode installs the files and nothing else, without a window or a question.
    c.install = [dir](const fs::path& setup) {
        return std::vector<std::string> {"wine", setup.string(), "--UPDATE", dir};
    };
    return c;
}

// compressor is what follows SetCompressor; stubName the file in NSIS's stubs that it builds on.
static Contender Nsis(const std::string& name, const std::string& compressor, const std::string& stubName)
{
    Contender c;
    c.name = name;
    c.stub = fs::path(NsisStubs) / stubName;
    c.installDir = "C:\\bench\\" + FileNameOf(name);
    c.tools = {"makensis", "wine"};
    c.pack = [compressor](const BenchPayload& payload, const fs::path& setup) {
        fs::path script = WriteNsisScript(compressor, payload, setup);
        return std::vector<std::string> {"makensis", "-V1", script.string()};
    };
    std::string dir = c.installDir;
    c.install = [dir](const fs::path& setup) {
        return std::vector<std::string> {"wine", setup.string(), "/S", "/D=" + dir};
    };
    return c;
}

std::vector<Contender> Contenders(const ContenderPrograms& programs)
{
    std::vector<Contender> contenders = {
        Lumivo(programs, "Lumivo deflate", {"NSIS zlib"}, {"--codec", "deflate"}, programs.stub),
        Nsis("NSIS zlib", "/FINAL zlib", "zlib-amd64-unicode"),
        // The default-codec rule compares LZMA's install time with deflate's: its third ratio.
        Lumivo(programs, "Lumivo solid LZMA", {"NSIS LZMA", "NSIS zlib", "Lumivo deflate"}, {"--codec", "lzma"},
               programs.stub),
        Nsis("NSIS LZMA", "/SOLID lzma", "lzma_solid-amd64-unicode"),
        // Blocks of 32 MiB: a payload of a few hundred megabytes is cut so by default; this shows on
        // the DLLs what decoding blocks side by side gains and what the cuts cost.
        Lumivo(programs, "Lumivo LZMA 32M blocks", {"Lumivo solid LZMA", "NSIS LZMA"},
               {"--codec", "lzma", "--block-size", "32M"}, programs.stub),
    };
    if (!programs.baselineStub.empty())
        contenders.push_back(Lumivo(programs, "Lumivo baseline", {"NSIS zlib"}, {}, programs.baselineStub));
    return contenders;
}

static bool InPath(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string MissingTools(const std::vector<Contender>& contenders)
{
    std::vector<std::pair<std::string, std::string>> programs; // program, the contenders that run it
    std::string missing;
    for (const Contender& c : contenders) {
        for (const std::string& tool : c.tools) {
            auto known = std::find_if(programs.begin(), programs.end(),
                                      [&tool](const auto& program) { return program.first == tool; });
            if (known == programs.end())
                programs.push_back({tool, c.name});
            else
                known->second += ", " + c.name;
        }
        std::error_code error;
        if (!fs::is_regular_file(c.stub, error))
            missing += "  " + c.name + " needs its stub " + c.stub.string() + ", which does not exist\n";
    }
    for (const auto& program : programs)
        if (!InPath(program.first))
            missing +=
                "  '" + program.first + "' is not there or cannot be run (" + program.second + " need it)\n";
    return missing;
}
