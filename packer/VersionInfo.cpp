#include "packer/VersionInfo.h"

#include "archive/ArchiveFormat.h"

namespace {

const uint32_t EnglishUnicode = 0x04B00409; // language 0x0409, code page 1200
const size_t MaxTextUnits = 2000;

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void AppendText(std::vector<uint8_t>& bytes, const std::u16string& text)
{
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

void Pad(std::vector<uint8_t>& bytes)
{
    while (bytes.size() % 4)
        bytes.push_back(0);
}

// One block of the structure: length, value length, type (1 for text), key, value, children,
// each part starting on a 32-bit boundary.
std::vector<uint8_t> Block(const std::u16string& key, uint16_t valueLength, bool text,
                           const std::vector<uint8_t>& value, const std::vector<std::vector<uint8_t>>& children)
{
    std::vector<uint8_t> bytes(6, 0);
    Put16(bytes, 2, valueLength);
    Put16(bytes, 4, text ? 1 : 0);
    AppendText(bytes, key);
    Pad(bytes);
    bytes.insert(bytes.end(), value.begin(), value.end());
    for (const std::vector<uint8_t>& child : children) {
        Pad(bytes);
        bytes.insert(bytes.end(), child.begin(), child.end());
    }
    Put16(bytes, 0, static_cast<uint16_t>(bytes.size()));
    return bytes;
}

std::vector<uint8_t> StringBlock(const std::u16string& key, const std::u16string& value)
{
    std::vector<uint8_t> text;
    AppendText(text, value);
    return Block(key, static_cast<uint16_t>(value.size() + 1), true, text, {});
}

} // namespace

std::array<uint16_t, 4> VersionNumbers(const std::u16string& version)
{
    std::array<uint16_t, 4> numbers = {0, 0, 0, 0};
    size_t at = 0;
    for (size_t field = 0; field < 4; field++) {
        uint32_t value = 0;
        size_t digits = 0;
        while (at < version.size() && version[at] >= u'0' && version[at] <= u'9' && value <= 65535) {
            value = value * 10 + (version[at++] - u'0');
            digits++;
        }
        if (digits == 0 || value > 65535)
            break;
        numbers[field] = static_cast<uint16_t>(value);
        if (at >= version.size() || version[at] != u'.')
            break;
        at++;
    }
    return numbers;
}

std::vector<uint8_t> VersionInfoResource(const VersionStrings& strings)
{
    std::array<uint16_t, 4> numbers = VersionNumbers(strings.version);
    uint32_t high = static_cast<uint32_t>(numbers[0]) << 16 | numbers[1];
    uint32_t low = static_cast<uint32_t>(numbers[2]) << 16 | numbers[3];
    std::vector<uint8_t> fixed(52, 0);
    const uint32_t fields[13] = {0xFEEF04BD, 0x00010000, high, low, high, low, 0x3F, 0,
                                 0x00040004 /* Windows NT */, 1 /* an application */, 0, 0, 0};
    for (int i = 0; i < 13; i++)
        WriteU32(&fixed[4 * i], fields[i]);

    const std::pair<const char16_t*, const std::u16string*> named[] = {
        {u"CompanyName", &strings.companyName},         {u"FileDescription", &strings.fileDescription},
        {u"FileVersion", &strings.version},             {u"LegalCopyright", &strings.legalCopyright},
        {u"OriginalFilename", &strings.originalFilename}, {u"ProductName", &strings.productName},
        {u"ProductVersion", &strings.version}};
    std::vector<std::vector<uint8_t>> texts;
    // The block lengths are 16-bit: a text longer than any dialog shows is cut.
    for (const auto& [key, value] : named)
        if (!value->empty())
            texts.push_back(StringBlock(key, value->substr(0, MaxTextUnits)));
    std::vector<uint8_t> table = Block(u"040904B0", 0, true, {}, texts);
    std::vector<uint8_t> stringInfo = Block(u"StringFileInfo", 0, true, {}, {table});
    std::vector<uint8_t> translation(4);
    WriteU32(translation.data(), EnglishUnicode);
    std::vector<uint8_t> varInfo = Block(u"VarFileInfo", 0, true, {}, {Block(u"Translation", 4, false, translation, {})});
    return Block(u"VS_VERSION_INFO", 52, false, fixed, {stringInfo, varInfo});
}
