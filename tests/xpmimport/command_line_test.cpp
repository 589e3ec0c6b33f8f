// What a command line asks for, and which input goes where: decided before anything runs,
// so a wrong line must fail here with nothing done.
#include <gtest/gtest.h>

#include "test_environment.h"
#include "xpmimport/command_line.h"
#include "xpmimport/task_plan.h"

namespace xpmimport_test {
namespace {

using xpmimport::CommandLine;
using xpmimport::ImportTask;
using xpmimport::OutputFormat;
using xpmimport::ParseCommandLine;
using xpmimport::PlanTasks;

[[nodiscard]] std::string Describe(const std::vector<ImportTask>& tasks) {
    std::string text;
    for (const ImportTask& task : tasks) {
        if (!text.empty()) text += "; ";
        text += task.input + " -> " + task.output + " (" + std::string(xpmimport::FormatName(task.format)) + ")";
    }
    return text;
}

[[nodiscard]] std::string Joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
    return text;
}

TEST(CommandLineTest, PlansOutputsFromTheArguments) {
    struct Case {
        std::vector<std::string> args;
        const char* want;
    } cases[] = {
        {{"a.xpm", "-o", "a.emf"}, "a.xpm -> a.emf (emf)"},
        {{"a.xpm", "-o", "A.WMF"}, "a.xpm -> A.WMF (wmf)"},
        {{"-oout.png", "a.xpm"}, "a.xpm -> out.png (png)"},
        {{"a.xpm", "-o", "-"}, "a.xpm -> - (emf)"},
        {{"-", "--format", "png", "-o", "-"}, "- -> - (png)"},
        {{"a.xpm", "-o", "noext", "--format=wmf"}, "a.xpm -> noext (wmf)"},
        {{"-d", "out", "dir/a.xpm", "b.x.xpm", "-"}, "dir/a.xpm -> out/a.emf (emf); b.x.xpm -> out/b.x.emf (emf); - -> out/stdin.emf (emf)"},
        {{"-d", "out/", "--format", "PNG", "a.xpm"}, "a.xpm -> out/a.png (png)"},
        {{"-j", "3", "-q", "-d", "o", "--", "-o"}, "-o -> o/-o.emf (emf)"},
        {{"-", "-o", "p.png"}, "- -> p.png (png)"},
    };
    for (const Case& c : cases) {
        auto parsed = ParseCommandLine(c.args);
        ASSERT_TRUE(parsed.ok) << Joined(c.args) << ": " << parsed.error;
        auto plan = PlanTasks(parsed.line);
        ASSERT_TRUE(plan.ok) << Joined(c.args) << ": " << plan.error;
        EXPECT_EQ(Describe(plan.tasks), c.want) << Joined(c.args);
    }
}

TEST(CommandLineTest, RefusesLinesThatCannotBeCarriedOut) {
    TempDir dir;
    WriteFile(dir.file("same.emf"), "x");
    struct Case {
        std::vector<std::string> args;
        const char* wantInError;
    } cases[] = {
        {{}, "no input"},
        {{"a.xpm"}, "say where"},
        {{"a.xpm", "-o", "a.gif"}, "cannot tell the format"},
        {{"--output=x.emf", "--format", "png", "a.xpm"}, "--format png does not match the name 'x.emf'"},
        {{"a.xpm", "-o", "A.WMF", "--format=emf"}, "does not match"},
        {{"a.xpm", "-o", "-", "--json"}, "--json prints on standard output"},
        {{"a.xpm", "-d", "o", "--max-pixels", "-1"}, "--max-pixels wants"},
        {{"--info", "--sync", "a.xpm"}, "--info writes no picture"},
        {{"a.xpm", "b.xpm", "-o", "a.emf"}, "one input"},
        {{"a.xpm", "-o", "a.emf", "-d", "out"}, "either -o or -d"},
        {{"one/a.xpm", "two/a.xpm", "-d", "out"}, "both be written to out/a.emf"},
        {{"-", "-", "-d", "out"}, "only once"},
        {{"a.xpm", "-o"}, "needs a value"},
        {{"a.xpm", "-o", "a.emf", "--format", "gif"}, "unknown format"},
        {{"a.xpm", "-d", "o", "-j", "x"}, "-j wants"},
        {{"a.xpm", "-d", "o", "-j", "9999"}, "-j wants"},
        {{"a.xpm", "-d", "o", "--colour"}, "unknown option --colour"},
        {{"a.xpm", "-d", "o", "-q", "-v"}, "contradict"},
        {{"--info", "a.xpm", "-o", "a.emf"}, "--info writes no picture"},
        {{"--json=1", "a.xpm", "-d", "o"}, "takes no value"},
        {{dir.file("same.emf"), "-o", dir.file("same.emf")}, "input"},
    };
    for (const Case& c : cases) {
        auto parsed = ParseCommandLine(c.args);
        std::string error = parsed.error;
        if (parsed.ok) {
            auto plan = PlanTasks(parsed.line);
            EXPECT_FALSE(plan.ok) << Joined(c.args) << ": got the plan " << Describe(plan.tasks) << ", want a refusal";
            error = plan.error;
        }
        EXPECT_NE(error.find(c.wantInError), std::string::npos)
            << Joined(c.args) << ": got \"" << error << "\", want an error mentioning \"" << c.wantInError << "\"";
    }
}

// Modes, --json and --filter are checked through xpmimport itself.
TEST(CommandLineTest, ReadsSwitchesWithoutAnEffectOutside) {
    EXPECT_FALSE(ParseCommandLine(std::vector<std::string>{"a.xpm", "--help", "--bogus"}).ok)
        << "an unknown option is an error even beside --help";
    auto jobs = ParseCommandLine(std::vector<std::string>{"-j0", "a.xpm", "-d", "o"});
    ASSERT_TRUE(jobs.ok) << jobs.error;
    EXPECT_GE(jobs.line.jobs, 1u) << "-j0 means one import per processor";
}

}  // namespace
}  // namespace xpmimport_test
