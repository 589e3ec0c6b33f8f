// Parsing the command line.
#include "xpmimport/command/command_line.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "xpmimport/command/help_notes.h"

namespace xpmimport {
namespace {

constexpr unsigned kMaxJobs = 256;

[[nodiscard]] bool ParseJobs(const std::string& text, unsigned* jobs) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        value > kMaxJobs)
        return false;
    if (value == 0) value = std::max(1u, std::thread::hardware_concurrency());
    *jobs = value;
    return true;
}

[[nodiscard]] bool ParseMaxPixels(const std::string& text, uint64_t* pixels) {
    uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
    *pixels = value;
    return true;
}

struct OptionDefinition {
    const char* shortName;  // "-o", or nullptr
    const char* longName;   // "--output"
    bool takesValue;
};

constexpr OptionDefinition kOptions[] = {
    {"-o", "--output", true},      {"-d", "--output-dir", true}, {nullptr, "--format", true},
    {"-j", "--jobs", true},        {nullptr, "--filter", true},  {"-q", "--quiet", false},
    {"-v", "--verbose", false},    {nullptr, "--json", false},   {nullptr, "--info", false},
    {nullptr, "--version", false}, {"-h", "--help", false},      {nullptr, "--max-pixels", true},
    {nullptr, "--sync", false},
};

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    ParsedCommandLine parsed;
    CommandLine& line = parsed.line;
    bool optionsEnded = false;
    bool help = false, version = false, info = false;
    auto fail = [&](std::string error) {
        parsed.error = std::move(error);
        return parsed;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            line.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // Find the option and its value (attached or the next argument).
        const OptionDefinition* option = nullptr;
        std::optional<std::string> value;
        for (const OptionDefinition& candidate : kOptions) {
            std::string longName = candidate.longName;
            if (arg == longName || (candidate.shortName != nullptr && arg == candidate.shortName)) {
                option = &candidate;
            } else if (arg.rfind(longName + "=", 0) == 0) {
                option = &candidate, value = arg.substr(longName.size() + 1);
            } else if (candidate.takesValue && candidate.shortName != nullptr && arg.size() > 2 &&
                       arg[1] != '-' && arg.rfind(candidate.shortName, 0) == 0) {
                option = &candidate, value = arg.substr(2);
            }
            if (option != nullptr) break;
        }
        if (option == nullptr) return fail("unknown option " + arg);
        if (option->takesValue && !value) {
            if (i + 1 >= args.size()) return fail("option " + arg + " needs a value");
            value = args[++i];
        }
        if (!option->takesValue && value)
            return fail(std::string("option ") + option->longName + " takes no value");
        const std::string name = option->longName;
        if (name == "--output") line.output = *value;
        if (name == "--output-dir") line.outputDirectory = *value;
        if (name == "--filter") line.filterPath = *value;
        if (name == "--format") {
            line.format = FormatFromName(*value);
            if (!line.format) return fail("unknown format '" + *value + "' (emf, wmf or png)");
        }
        if (name == "--jobs" && !ParseJobs(*value, &line.jobs)) {
            return fail("-j wants a number of imports from 0 (one per processor) to " +
                        std::to_string(kMaxJobs));
        }
        if (name == "--max-pixels" && !ParseMaxPixels(*value, &line.maxPixels)) {
            return fail("--max-pixels wants a number of pixels (0 for no limit)");
        }
        if (name == "--sync") line.sync = true;
        if (name == "--quiet") line.quiet = true;
        if (name == "--verbose") line.verbose = true;
        if (name == "--json") line.json = true;
        if (name == "--info") info = true;
        if (name == "--version") version = true;
        if (name == "--help") help = true;
        if ((name == "--output" || name == "--output-dir" || name == "--filter") &&
            value->empty()) {
            return fail("option " + name + " needs a value");
        }
    }
    if (help) {
        line.mode = Mode::kHelp;
    } else if (version) {
        line.mode = Mode::kVersion;
    } else if (info) {
        line.mode = Mode::kInfo;
        if (!line.output.empty() || !line.outputDirectory.empty() || line.format || line.sync) {
            return fail("--info writes no picture: -o, -d, --format and --sync do not apply");
        }
    }
    if ((line.mode == Mode::kConvert || line.mode == Mode::kInfo) && line.inputs.empty()) {
        return fail("no input given");
    }
    if (line.quiet && line.verbose) return fail("-q and -v contradict each other");
    parsed.ok = true;
    return parsed;
}

std::string HelpText() {
    return R"(Usage: xpmimport [OPTIONS] IN.xpm -o OUT.emf|OUT.wmf|OUT.png
       xpmimport [OPTIONS] IN.xpm... -d OUTDIR
       xpmimport --info [--json] IN.xpm...

Converts XPM pictures to Enhanced Metafiles, Windows Metafiles or PNG through the XPM
import filter module (libxpmfilter.so), loaded the way any host loads it.
An input of "-" is read from standard input.

Options:
  -o, --output FILE     write the picture of the one input to FILE; the format follows
                        its extension (.emf, .wmf, .png); --format must agree with it.
                        "-o -" writes the picture to standard output (EMF unless
                        --format says; not to a terminal), and only once it is whole
  -d, --output-dir DIR  write each input's picture to DIR/NAME.EXT (NAME: the input's
                        name without its extension; "stdin" for standard input);
                        DIR is made when missing
      --format FORMAT   emf, wmf or png (default: from -o's extension, else emf)
                        PNG is painted from the metafile's own bitmap records
      --max-pixels N    refuse a picture of more than N pixels (width x height, read
                        from its values line before anything is written; default
                        268435456 = 2^28; 0: no limit)
      --sync            make sure every picture is on the disk before exiting (one
                        sync per file system at the end; without it the pictures are
                        replaced atomically but left to the system to write out)
  -j, --jobs N          run N imports at once (0: one per processor; default 1)
      --info            print each input's size ("IN.xpm: 32 x 32"); nothing is written
      --json            print one JSON object per line on standard output instead:
                          --info:  {"input":"a.xpm","width":32,"height":32,"colours":4}
                          convert: {"input":"a.xpm","output":"a.emf","format":"emf",
                                    "width":32,"height":32}
                          both add "warning" when the colours are not all kept
                          failure: {"input":"bad.xpm","error":"not an XPM file ...",
                                    "code":-23}  ("code" only when the filter gave one)
                        failures are still reported on standard error as well
      --filter PATH     load this filter module instead of the one of this build
  -q, --quiet           print failures only (no sizes, no warnings, no progress bar)
  -v, --verbose         also say which filter is used, when each import starts and
                        the filter's result code of a failure
      --version         print xpmimport's version and the filter's
  -h, --help            print this help

An existing output file is replaced only by a complete picture: each picture is
written to a temporary file beside it and renamed when done, keeping the old file's
permissions (and its owner and group where allowed). A device or FIFO is written
into once the picture is complete. Standard input is read to its end. Ctrl-C (or
SIGTERM, SIGHUP, SIGXFSZ) stops the running imports and leaves no partial output (a
second signal ends at once, still removing the temporary files).

A picture whose colours are not all kept gets one warning line on standard error
(more than 256 colours wrap: colour k is drawn as colour k mod 256; a "#" colour of
other than 6, 9 or 12 hex digits, such as #abc, is read by the six-digit rule).

A progress bar is shown on standard error when it is a terminal.

Exit status:
  0    every input was converted (or, with --info, measured)
  1    some inputs failed (each failure was reported); the others were done
  2    usage error; nothing was done
  3    the filter module could not be loaded, or is not the XPM import filter
  128+N  stopped by signal N (130 Ctrl-C, 129 SIGHUP, 143 SIGTERM, 153 SIGXFSZ);
         the running imports were stopped, nothing partial written (the message
         names the outputs that were complete before the signal)
)" + std::string(PlatformHelpNotes());
}

}  // namespace xpmimport
