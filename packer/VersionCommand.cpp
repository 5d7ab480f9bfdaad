#include "packer/VersionCommand.h"

#include "LumivoVersion.h"
#include "packer/BuildCommand.h"
#include "packer/PackError.h"
#include "packer/SetupReader.h"
#include "packer/Sha256.h"

#include <libdeflate.h>

std::string VersionText()
{
    std::string text = "lumivo-pack " LUMIVO_VERSION_TEXT "\nlibdeflate " LIBDEFLATE_VERSION_STRING "\n";
    std::filesystem::path stub = DefaultStub();
    try {
        std::vector<uint8_t> bytes = ReadWholeFile(stub);
        text += "stub " + stub.string() + " sha256 " + Sha256Hex(bytes.data(), bytes.size()) + "\n";
    } catch (const PackError& error) {
        text += "stub " + stub.string() + " missing: " + error.message + "\n";
    }
    return text;
}
