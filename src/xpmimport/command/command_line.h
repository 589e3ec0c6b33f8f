// xpmimport's command line: what the user asked for, and the help text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "xpmimport/command/output_format.h"

namespace xpmimport {

enum class Mode { kConvert, kInfo, kHelp, kVersion };

// Pictures of more pixels than this are refused unless --max-pixels says otherwise.
inline constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28;

struct CommandLine {
    Mode mode = Mode::kConvert;
    std::vector<std::string> inputs;  // "-" is standard input
    std::string output;               // -o, for one input; "-" is standard output
    std::string outputDirectory;      // -d, for any number of inputs
    std::optional<OutputFormat> format;
    std::string filterPath;  // --filter; empty means the module of this build
    unsigned jobs = 1;
    uint64_t maxPixels = kDefaultMaxPixels;  // 0: no limit
    bool sync = false;                       // --sync: the pictures are on the disk at exit
    bool quiet = false;
    bool verbose = false;
    bool json = false;
};

struct ParsedCommandLine {
    bool ok = false;
    CommandLine line;
    std::string error;  // one line, when !ok
};

// Parses the arguments after the program name. Options and inputs may come in any order;
// "--" ends the options. Option values may follow as the next argument, joined with "="
// (long options) or attached (-oOUT, -j4). Checks only the options themselves; which inputs
// go to which outputs is decided by PlanTasks.
[[nodiscard]] ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

// The --help text, ending with a line end.
[[nodiscard]] std::string HelpText();

}  // namespace xpmimport
