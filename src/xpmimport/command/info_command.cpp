// The --info run: one line per input with its size.
#include <cstdio>

#include "xpmimport/command/commands.h"
#include "xpmimport/command/console.h"
#include "xpmimport/command/exit_status.h"
#include "xpmimport/import/fd_reader.h"
#include "xpmimport/import/file_info_query.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"
#include "xpmimport/command/json_text.h"
#include "xpmimport/command/task_plan.h"

namespace xpmimport {

int RunInfoCommand(const CommandLine& line, const FilterModule& filter) {
    size_t fromStdin = 0;
    for (const std::string& input : line.inputs) fromStdin += input == "-" ? 1 : 0;
    if (fromStdin > 1) {
        std::fprintf(stderr, "xpmimport: standard input (-) can be read only once\n");
        return kExitUsage;
    }
    Console console(false, line.inputs.size());
    size_t failures = 0;
    for (const std::string& input : line.inputs) {
        if (InterruptRequested()) break;
        const std::string name = InputDisplayName(input);
        InfoOutcome outcome = QueryFileInfo(filter.exports(), input, line.verbose);
        if (outcome.ok && input == "-") DrainInput(kStandardInputFd);  // as a filter does
        if (outcome.ok) {
            if (!line.quiet && !outcome.warning.empty())
                console.err("xpmimport: " + name + ": warning: " + outcome.warning);
            if (line.json) {
                JsonObject object;
                object.add("input", name)
                    .add("width", outcome.width)
                    .add("height", outcome.height)
                    .add("colours", outcome.colors);
                if (!outcome.warning.empty()) object.add("warning", outcome.warning);
                console.out(object.text());
            } else {
                console.out(name + ": " + std::to_string(outcome.width) + " x " +
                            std::to_string(outcome.height));
            }
            continue;
        }
        ++failures;
        console.err("xpmimport: " + name + ": " + outcome.cause);
        if (line.json) {
            JsonObject object;
            object.add("input", name).add("error", outcome.cause);
            if (outcome.code != 0) object.add("code", outcome.code);
            console.out(object.text());
        }
    }
    if (InterruptRequested()) return kExitSignalBase + InterruptSignal();
    return failures == 0 ? kExitOk : kExitSomeFailed;
}

}  // namespace xpmimport
