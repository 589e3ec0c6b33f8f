// Planning the conversions of one run.
#include "xpmimport/command/task_plan.h"

#include <map>

#include "xpmimport/output/file_system.h"
#include "xpmimport/output/pending_output.h"

namespace xpmimport {
namespace {

[[nodiscard]] std::string StemOf(const std::string& input) {
    if (input == "-") return "stdin";
    size_t slash = input.find_last_of(PathSeparators());
    std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

std::string InputDisplayName(const std::string& input) {
    return input == "-" ? "standard input" : input;
}

std::string OutputDisplayName(const std::string& output) {
    return output == kStandardOutputName ? "standard output" : output;
}

TaskPlan PlanTasks(const CommandLine& line) {
    TaskPlan plan;
    auto fail = [&](std::string error) {
        plan.error = std::move(error);
        plan.tasks.clear();
        return plan;
    };
    if (line.inputs.empty()) return fail("no input given");
    size_t fromStdin = 0;
    for (const std::string& input : line.inputs) fromStdin += input == "-" ? 1 : 0;
    if (fromStdin > 1) return fail("standard input (-) can be read only once");
    if (!line.output.empty() && !line.outputDirectory.empty())
        return fail("give either -o or -d, not both");
    if (line.output.empty() && line.outputDirectory.empty()) {
        return fail("say where the picture goes: -o FILE (one input) or -d DIR");
    }
    if (!line.output.empty()) {
        if (line.inputs.size() != 1) return fail("-o takes one input; use -d DIR for several");
        const bool toStdout = line.output == kStandardOutputName;
        if (toStdout && line.json)
            return fail("--json prints on standard output, where -o - writes the picture");
        if (toStdout && line.sync)
            return fail("--sync applies to files; -o - writes to standard output");
        std::optional<OutputFormat> named = toStdout ? std::nullopt : FormatFromPath(line.output);
        if (line.format && named && *line.format != *named) {
            return fail("--format " + std::string(FormatName(*line.format)) +
                        " does not match the name '" + line.output + "'; name it ." +
                        std::string(FormatName(*line.format)) + " or leave --format out");
        }
        std::optional<OutputFormat> format = line.format ? line.format : named;
        if (toStdout && !format) format = OutputFormat::kEmf;
        if (!format)
            return fail("cannot tell the format from '" + line.output +
                        "'; name it .emf, .wmf or .png, or use --format");
        plan.tasks.push_back({line.inputs[0], line.output, *format});
    } else {
        OutputFormat format = line.format.value_or(OutputFormat::kEmf);
        std::string directory = line.outputDirectory;
        if (directory.back() != '/') directory += '/';
        std::map<std::string, std::string> inputOfOutput;
        for (const std::string& input : line.inputs) {
            std::string output = directory + StemOf(input) + "." + std::string(FormatName(format));
            auto [entry, fresh] = inputOfOutput.emplace(output, input);
            if (!fresh)
                return fail(InputDisplayName(input) + " and " + InputDisplayName(entry->second) +
                            " would both be written to " + output);
            plan.tasks.push_back({input, output, format});
        }
    }
    for (const ConversionTask& task : plan.tasks) {
        if (task.input != "-" && task.output != kStandardOutputName &&
            SameFile(task.input, task.output)) {
            return fail(task.output + " is the input " + task.input + " itself");
        }
    }
    plan.ok = true;
    return plan;
}

}  // namespace xpmimport
