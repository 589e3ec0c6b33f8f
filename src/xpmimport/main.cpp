// xpmimport: converts XPM pictures to EMF, WMF or PNG through the XPM import filter module,
// loaded by path as any host loads it. This file reads the command line, loads the filter
// and hands over to the convert or info command.
#include <cstdio>
#include <string>
#include <vector>

#include "xpmimport/command/command_line.h"
#include "xpmimport/command/commands.h"
#include "xpmimport/command/exit_status.h"
#include "xpmimport/import/filter_module.h"
#include "xpmimport/output/interrupt.h"
#include "xpmimport/import/module_path.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/command/terminal.h"

#ifndef XPMIMPORT_VERSION
#define XPMIMPORT_VERSION "0"
#endif

namespace {

using namespace xpmimport;

void PrintVersion(const FilterModule& filter) {
    const FilterIdentity& identity = filter.identity();
    std::printf("xpmimport %s\n", XPMIMPORT_VERSION);
    std::printf("filter %s\n", identity.path.c_str());
    std::printf("  version %s (0x%08X), FilterDefinitions \"%s\"\n",
                FormatFileVersion(identity.fileVersion).c_str(), identity.version,
                identity.definitions.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "xpmimport: %s\nTry 'xpmimport --help'.\n", parsed.error.c_str());
        return kExitUsage;
    }
    const CommandLine& line = parsed.line;
    if (line.mode == Mode::kHelp) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    InstallInterruptHandlers();
    UseBinaryStandardStreams();
    // New output files get the permissions an ordinary new file would get.
    const mode_t fileMode = NewFileMode();

    const std::string filterPath = line.filterPath.empty() ? DefaultFilterPath() : line.filterPath;
    std::string error;
    std::unique_ptr<FilterModule> filter = FilterModule::Load(filterPath, &error);
    if (!filter) {
        if (line.mode == Mode::kVersion) std::printf("xpmimport %s\n", XPMIMPORT_VERSION);
        std::fprintf(stderr, "xpmimport: cannot use the filter module %s: %s\n", filterPath.c_str(),
                     error.c_str());
        if (line.filterPath.empty()) {
            std::fprintf(
                stderr,
                "xpmimport: --filter PATH or XPMFILTER_MODULE=PATH names the module to load\n");
        }
        return kExitNoFilter;
    }
    if (line.mode == Mode::kVersion) {
        PrintVersion(*filter);
        return kExitOk;
    }
    if (line.verbose) {
        std::fprintf(stderr, "xpmimport: filter %s, version %s\n", filter->identity().path.c_str(),
                     FormatFileVersion(filter->identity().fileVersion).c_str());
    }
    if (line.mode == Mode::kInfo) return RunInfoCommand(line, *filter);
    return RunConvertCommand(line, *filter, fileMode);
}
