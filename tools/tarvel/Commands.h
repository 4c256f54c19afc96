// The subcommands of the tarvel command-line tool.
#pragma once

namespace tarvel::tool {

// Prints the stored settings and the page capabilities of every paper for
// the current printer model. Returns the process exit status.
int SettingsCommand(int argc, char** argv);

// Decodes a printer stream and writes a PNG picture of every page.
int PreviewCommand(int argc, char** argv);

}  // namespace tarvel::tool
