// The conversion run: plan, make the output directory, run the imports, report each one.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "xpmimport/command/batch_runner.h"
#include "xpmimport/command/commands.h"
#include "xpmimport/command/console.h"
#include "xpmimport/command/exit_status.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"
#include "xpmimport/command/json_text.h"
#include "xpmimport/output/output_sync.h"
#include "xpmimport/output/pending_output.h"
#include "xpmimport/command/task_plan.h"
#include "xpmimport/command/terminal.h"

namespace xpmimport {
namespace {

// Makes directory and its missing parents; false with *error set.
[[nodiscard]] bool MakeDirectories(const std::string& directory, std::string* error) {
    std::string path;
    size_t start = 0;
    while (start <= directory.size()) {
        size_t slash = directory.find_first_of(PathSeparators(), start);
        if (slash == std::string::npos) slash = directory.size();
        path = directory.substr(0, slash);
        start = slash + 1;
        if (path.empty()) continue;
        if (!MakeDirectory(path.c_str())) {
            *error = std::strerror(errno);
            return false;
        }
    }
    if (KindOfFile(directory.c_str()) != FileKind::kDirectory) {
        *error = std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

void Report(Console& console, const CommandLine& line, const ConversionTask& task,
            const ConversionOutcome& outcome) {
    const std::string name = InputDisplayName(task.input);
    if (outcome.status == ConversionOutcome::Status::kDone) {
        if (!line.quiet && !outcome.warning.empty())
            console.err("xpmimport: " + name + ": warning: " + outcome.warning);
        if (line.json) {
            JsonObject object;
            object.add("input", name)
                .add("output", task.output)
                .add("format", FormatName(task.format))
                .add("width", outcome.width)
                .add("height", outcome.height);
            if (!outcome.warning.empty()) object.add("warning", outcome.warning);
            console.out(object.text());
        } else if (task.output == kStandardOutputName) {
            // Standard output holds the picture and nothing else.
            if (line.verbose) {
                console.err("xpmimport: " + name + ": " + std::to_string(outcome.width) + " x " +
                            std::to_string(outcome.height) + " -> standard output");
            }
        } else if (!line.quiet) {
            console.out(name + ": " + std::to_string(outcome.width) + " x " +
                        std::to_string(outcome.height) + " -> " + task.output);
        }
        return;
    }
    console.err("xpmimport: " + name + ": " + outcome.cause);
    if (line.json) {
        JsonObject object;
        object.add("input", name).add("output", task.output).add("error", outcome.cause);
        if (outcome.code != 0) object.add("code", outcome.code);
        console.out(object.text());
    }
}

}  // namespace

int RunConvertCommand(const CommandLine& line, const FilterModule& filter, mode_t fileMode) {
    TaskPlan plan = PlanTasks(line);
    if (plan.ok && line.output == kStandardOutputName && IsTerminal(kStandardOutputFd)) {
        plan.ok = false;
        plan.error = "standard output is a terminal: redirect it to a file or a pipe for -o -";
    }
    if (!plan.ok) {
        std::fprintf(stderr, "xpmimport: %s\nTry 'xpmimport --help'.\n", plan.error.c_str());
        return kExitUsage;
    }
    if (!line.outputDirectory.empty()) {
        std::string error;
        if (!MakeDirectories(line.outputDirectory, &error)) {
            std::fprintf(stderr, "xpmimport: %s: cannot make the output directory: %s\n",
                         line.outputDirectory.c_str(), error.c_str());
            return kExitSomeFailed;
        }
    }
    Console console(!line.quiet && IsTerminal(kStandardErrorFd), plan.tasks.size());
    const ConversionSettings settings{fileMode, line.maxPixels, line.verbose};
    std::atomic<size_t> failures{0}, done{0};
    std::mutex writtenMutex;
    std::vector<std::string> written;
    RunAll(plan.tasks.size(), line.jobs, [&](size_t index) {
        const ConversionTask& task = plan.tasks[index];
        const std::string name = InputDisplayName(task.input);
        console.jobStarted(index, name);
        if (line.verbose)
            console.err("xpmimport: " + name + ": importing to " + OutputDisplayName(task.output));
        auto start = std::chrono::steady_clock::now();
        ConversionOutcome outcome = Convert(filter.exports(), task, settings, [&](int percent) {
            console.jobProgress(index, percent);
        });
        if (outcome.status == ConversionOutcome::Status::kDone && line.sync) {
            std::lock_guard<std::mutex> lock(writtenMutex);
            written.push_back(task.output);
        }
        console.jobFinished(index);
        (outcome.status == ConversionOutcome::Status::kDone ? done : failures).fetch_add(1);
        Report(console, line, task, outcome);
        if (line.verbose && outcome.status == ConversionOutcome::Status::kDone) {
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            console.err("xpmimport: " + name + ": done in " + std::to_string(elapsed.count()) +
                        " ms");
        }
    });
    console.endBar();
    if (InterruptRequested()) {
        // A signal can come after outputs were already complete: they stay, and the user
        // must know which (the others were left as they were).
        std::string words = InterruptInWords();
        if (done.load() == 1 && plan.tasks.size() == 1) {
            words += " after " + OutputDisplayName(plan.tasks[0].output) + " was written in full";
        } else if (done.load() > 0) {
            words += " after " + std::to_string(done.load()) + " of " +
                     std::to_string(plan.tasks.size()) +
                     " outputs were written in full (the others were left as they were)";
        }
        std::fprintf(stderr, "xpmimport: %s\n", words.c_str());
        return kExitSignalBase + InterruptSignal();
    }
    std::string syncError;
    if (!SyncOutputs(written, &syncError)) {
        std::fprintf(stderr, "xpmimport: %s\n", syncError.c_str());
        return kExitSomeFailed;
    }
    return failures.load() == 0 ? kExitOk : kExitSomeFailed;
}

}  // namespace xpmimport
