// The subcommands of the tarvel command-line tool. Each returns the process
// exit status: 0 when it did all it was asked, 1 when something failed (the
// reason is on standard error), 2 for a mistake in the command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvel::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Options that choose the page: each one not given keeps the stored setting.
struct PageOptions {
    std::string model;
    std::string paper;
    std::string color;
    bool landscape = false;
    bool draft = false;
};

struct PrintOptions {
    std::vector<std::string> files;
    PageOptions page;
    std::string output;  // a file (the File port)
    std::string host;    // HOST[:PORT] (the Network port)
    std::string device;  // a device node
    std::string port;    // a stored port by name
    std::string pages;   // FIRST-LAST
    int copies = 1;
};

struct PreviewOptions {
    std::vector<std::string> arguments;  // STREAM [LANGUAGE] [PREFIX]
    std::string language;
};

int PrintCommand(const PrintOptions& options);
int ModelsCommand();
int CapsCommand(const PageOptions& options);
// Prints the stored settings; never writes them.
int SettingsCommand();
int SettingsSetCommand(const std::vector<std::string>& assignments);
int PreviewCommand(const PreviewOptions& options);

// "tarvel: " and the message on standard error.
void Complain(const std::string& message);
// The library's last message, or `fallback` when it has none.
std::string LibraryMessage(const char* fallback);

}  // namespace tarvel::tool
