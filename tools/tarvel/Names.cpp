#include "Names.h"

#include "device/PrinterTables.h"
#include "platform/system/Utf16.h"

#include <array>
#include <cctype>
#include <charconv>

namespace tarvel::tool {
namespace {

using namespace tarvel::device;

// Network and the device node follow the described ports.
constexpr std::array<std::string_view, 2> kExtraPortNames = {"Network", "Device"};

constexpr std::array<std::string_view, kModelCount> kAliases = {
    "pcl", "escp2", "stylus", "pocketjet2", "pocketjet200", "bj300", "bj360"};

std::string Utf8(std::u16string_view text)
{
    return tarvel::platform::Utf16ToUtf8(text).value_or("?");
}

bool ParseInt(std::string_view text, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// A name from a table, or the table's index typed as a number.
template <typename NameOf>
int Find(std::string_view text, int count, NameOf nameOf)
{
    for (int i = 0; i < count; ++i)
        if (EqualNoCase(text, nameOf(i)))
            return i;
    int index = -1;
    return ParseInt(text, index) && index >= 0 && index < count ? index : -1;
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view ModelAlias(int model)
{
    return model >= 0 && model < kModelCount ? kAliases[static_cast<std::size_t>(model)] : "";
}

std::string ModelName(int model)
{
    return model >= 0 && model < kModelCount ? Utf8(kPrinterModelNames[static_cast<std::size_t>(model)]) : "?";
}

std::string PaperName(int paper)
{
    return paper >= 0 && paper < kPaperCount ? Utf8(Papers()[static_cast<std::size_t>(paper)].name) : "?";
}

std::string ColorModeName(int mode)
{
    return mode >= 0 && mode < kColorModeCount ? Utf8(kColorModes[static_cast<std::size_t>(mode)].name) : "?";
}

std::string PortName(int port)
{
    if (port >= 0 && port < kPortCount)
        return Utf8(kPortNames[static_cast<std::size_t>(port)]);
    if (port >= kPortCount && port < kPortCount + static_cast<int>(kExtraPortNames.size()))
        return std::string(kExtraPortNames[static_cast<std::size_t>(port - kPortCount)]);
    return "?";
}

int ParseModel(std::string_view text)
{
    for (int i = 0; i < kModelCount; ++i)
        if (EqualNoCase(text, kAliases[static_cast<std::size_t>(i)]))
            return i;
    return Find(text, kModelCount, ModelName);
}

int ParsePaper(std::string_view text)
{
    return Find(text, kPaperCount, PaperName);
}

int ParseColorMode(std::string_view text)
{
    static constexpr std::string_view kShort[] = {"mono", "cmyk", "cmy"};
    for (int i = 0; i < kColorModeCount; ++i)
        if (EqualNoCase(text, kShort[i]))
            return i;
    return Find(text, kColorModeCount, ColorModeName);
}

int ParsePort(std::string_view text)
{
    return Find(text, kPortCount + static_cast<int>(kExtraPortNames.size()), PortName);
}

bool ParseHostPort(std::string_view text, std::string& host, int& port)
{
    port = 9100;
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':')
                return false;
            portText = text.substr(close + 2);
            if (portText.empty())
                return false;
        }
    } else {
        const std::size_t colon = text.find(':');
        // More than one colon without brackets is a bare IPv6 address.
        if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty())
                return false;
        } else {
            host = text;
        }
    }
    if (!portText.empty() && !ParseInt(portText, port))
        return false;
    return !host.empty() && port >= 1 && port <= 65535;
}

bool ParsePageRange(std::string_view text, int& first, int& last)
{
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!ParseInt(text, first) || first < 1)
            return false;
        last = first;
        return true;
    }
    const std::string_view from = text.substr(0, dash);
    const std::string_view to = text.substr(dash + 1);
    first = 1;
    last = 0;
    if (from.empty() && to.empty())
        return false;
    if (!from.empty() && (!ParseInt(from, first) || first < 1))
        return false;
    if (!to.empty() && (!ParseInt(to, last) || last < first))
        return false;
    return true;
}

}  // namespace tarvel::tool
