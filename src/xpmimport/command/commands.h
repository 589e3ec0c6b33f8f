// The two things xpmimport does with a loaded filter: convert inputs, or describe them.
// Each returns the exit status (see exit_status.h).
#pragma once

#include <sys/types.h>

#include "xpmimport/command/command_line.h"
#include "xpmimport/import/filter_module.h"

namespace xpmimport {

// Plans and runs the conversions of line (on line.jobs threads), printing one line per
// input. fileMode: permissions of new output files.
[[nodiscard]] int RunConvertCommand(const CommandLine& line, const FilterModule& filter,
                                    mode_t fileMode);

// Prints each input's size through GetFileInfo.
[[nodiscard]] int RunInfoCommand(const CommandLine& line, const FilterModule& filter);

}  // namespace xpmimport
