// The names a user types for models, papers, colour modes and ports: the
// texts of the print dialog, compared without regard to case, and short
// aliases for the models. Each parser returns the setting's index, or -1.
#pragma once

#include <string>
#include <string_view>

namespace tarvel::tool {

int ParseModel(std::string_view text);
int ParsePaper(std::string_view text);
int ParseColorMode(std::string_view text);
int ParsePort(std::string_view text);

// The short alias of a model ("pcl", "pocketjet200", ...).
std::string_view ModelAlias(int model);
// The print dialog's texts as UTF-8.
std::string ModelName(int model);
std::string PaperName(int paper);
std::string ColorModeName(int mode);
std::string PortName(int port);

// "HOST", "HOST:PORT" or "[IPV6]:PORT"; false for an empty host or a port
// that is not a number from 1 to 65535.
bool ParseHostPort(std::string_view text, std::string& host, int& port);

// "N", "N-M", "N-" or "-M", pages counted from 1; last is 0 for "to the end".
bool ParsePageRange(std::string_view text, int& first, int& last);

bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace tarvel::tool
