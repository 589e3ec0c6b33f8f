// Cost of making a setup record from a profile, as every import does: CreateSetup through the
// shipped module reads "Driver", the colour and font tables (about 300 keys) and the colour
// mode. Profiles of 8 KiB (the tables alone) and 4 MiB (the tables plus a large section of
// other keys), not changed for a while, as profiles in use are.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "build_module.h"
#include "xpmfilter/xpmfilter.h"

namespace {

struct Module {
    decltype(&CreateSetup) createSetup = nullptr;
    decltype(&DestroySetup) destroySetup = nullptr;
};

const Module& LoadedModule() {
    static const Module module = [] {
        Module loaded;
        void* library = OpenBuildModule(nullptr);
        if (library == nullptr) return loaded;
        loaded.createSetup =
            reinterpret_cast<decltype(&CreateSetup)>(dlsym(library, "CreateSetup"));
        loaded.destroySetup =
            reinterpret_cast<decltype(&DestroySetup)>(dlsym(library, "DestroySetup"));
        return loaded;
    }();
    return module;
}

// Writes a profile of about `bytes` bytes, dates it an hour back and lets its change time
// settle (profiles in use were changed long ago); returns its path.
std::string MakeProfile(size_t bytes) {
    std::string text =
        "[rondo]\r\n~Mode=Main\r\n[Main]\r\nDriver=bench.drv\r\nColorTableSource=PROFILE\r\n";
    for (int i = 0; i < 256; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Color[%03d]=%d, %d, %d, \"colour %d\"\r\n", i, i, 255 - i,
                      i / 2, i);
        text += line;
    }
    for (int i = 1; i <= 32; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Font[%03d]=\"name %d\", \"face %d\"\r\n", i, i, i);
        text += line;
    }
    text += "Color Mode=2\r\n[Other]\r\n";
    for (int i = 0; text.size() < bytes; ++i)
        text += "Key" + std::to_string(i) + "=some value of a key\r\n";
    const std::string path =
        "/tmp/profile_bench_" + std::to_string(::getpid()) + "_" + std::to_string(bytes) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), hourAgo, 0);
    ::sleep(4);
    return path;
}

void BM_CreateSetup(benchmark::State& state) {
    const Module& module = LoadedModule();
    if (module.createSetup == nullptr || module.destroySetup == nullptr) {
        state.SkipWithError("cannot load libxpmfilter.so");
        return;
    }
    const std::string path = MakeProfile(static_cast<size_t>(state.range(0)) * 1024);
    for (auto _ : state) {
        HGLOBAL setup = module.createSetup(nullptr, path.c_str(), nullptr, nullptr);
        if (setup == nullptr) {
            state.SkipWithError("CreateSetup refused the profile");
            break;
        }
        module.destroySetup(setup);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_CreateSetup)->Arg(8)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
