// Which input goes to which output file in which format, decided before anything runs so
// that a wrong command line does nothing at all.
#pragma once

#include <string>
#include <vector>

#include "xpmimport/command/command_line.h"
#include "xpmimport/command/conversion.h"

namespace xpmimport {

struct TaskPlan {
    bool ok = false;
    std::vector<ConversionTask> tasks;  // one per input, in the order given
    std::string error;                  // one line, when !ok
};

// With -o: exactly one input, format from --format or the extension of -o (an unknown
// extension without --format is an error, and so is a --format that another extension
// contradicts); "-o -" is standard output, EMF unless --format says, not with --json. With -d:
// DIR/NAME.EXT for each input, NAME its file name without the extension ("stdin" for "-"), format
// from --format or EMF; two inputs that would share an output are an error. Standard input may be
// named once. An output that is the input file itself is an error.
[[nodiscard]] TaskPlan PlanTasks(const CommandLine& line);

// The name messages use for an input: the path, or "standard input" for "-".
[[nodiscard]] std::string InputDisplayName(const std::string& input);
// The same for an output: the path, or "standard output" for "-".
[[nodiscard]] std::string OutputDisplayName(const std::string& output);

}  // namespace xpmimport
