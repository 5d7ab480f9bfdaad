#include "packer/ScriptKeys.h"

#include "packer/EntryName.h"
#include "packer/SetupReader.h"

namespace fs = std::filesystem;

// UTF-8 with every malformed sequence replaced by U+FFFD, one per byte.
static std::u16string LenientUtf16(const std::string& text)
{
    std::u16string units;
    if (Utf8ToUtf16(text, units))
        return units;
    units.clear();
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::u16string one;
        if (i + length <= text.size() && Utf8ToUtf16(text.substr(i, length), one)) {
            units += one;
            i += length;
        } else {
            units += u'\uFFFD';
            i++;
        }
    }
    return units;
}

std::u16string ScriptKeys::value(const std::u16string& key, const std::u16string& alias) const
{
    if (!alias.empty()) {
        auto found = values.find(FoldedName(alias));
        if (found != values.end() && !found->second.empty())
            return found->second;
    }
    auto found = values.find(FoldedName(key));
    return found == values.end() ? std::u16string() : found->second;
}

ScriptKeys ParseScriptKeys(const std::string& text)
{
    std::u16string units = LenientUtf16(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text);
    ScriptKeys keys;
    size_t p = 0, length = units.size();
    auto lineEnd = [&](size_t at) { return units[at] == u'\r' || units[at] == u'\n'; };
    while (p < length) {
        size_t start = p, separator = std::u16string::npos;
        if (units[p] != u'#') {
            while (p < length && units[p] != u'=' && !lineEnd(p))
                p++;
            if (p < length && units[p] == u'=')
                separator = p;
        }
        while (p < length && !lineEnd(p))
            p++;
        if (separator != std::u16string::npos)
            keys.values[FoldedName(units.substr(start, separator - start))] =
                units.substr(separator + 1, p - separator - 1);
        while (p < length && lineEnd(p))
            p++;
    }
    return keys;
}

ScriptKeys ReadScriptKeys(const fs::path& appDir)
{
    std::error_code error;
    for (const fs::directory_entry& item : fs::directory_iterator(appDir, error)) {
        std::u16string name;
        if (Utf8ToUtf16(item.path().filename().string(), name) && FoldedName(name) == u"install.script") {
            std::vector<uint8_t> bytes = ReadWholeFile(item.path());
            return ParseScriptKeys(std::string(bytes.begin(), bytes.end()));
        }
    }
    return ScriptKeys();
}
