// End-to-end import throughput through the shipped module, loaded by path as a host loads
// it: XPM file in, finished metafile handle out (the handle's bytes are fetched, as
// xpmimport does before writing them). Reported per input byte, per pixel and per picture
// (48 x 48 icons: pictures a second on one core).
#include <dlfcn.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "build_module.h"
#include "xpmfilter/xpmfilter.h"

namespace {

struct Module {
    void* library = nullptr;
    decltype(&ImportGR) importGR = nullptr;
    std::string error;
};

const Module& LoadedModule() {
    static const Module module = [] {
        Module loaded;
        loaded.library = OpenBuildModule(&loaded.error);
        if (loaded.library == nullptr) return loaded;
        loaded.importGR = reinterpret_cast<decltype(&ImportGR)>(dlsym(loaded.library, "ImportGR"));
        if (loaded.importGR == nullptr) loaded.error = "libxpmfilter.so: no ImportGR";
        return loaded;
    }();
    return module;
}

// A width x height picture with `colors` hex colours and `cpp` characters per pixel; the
// pixels cycle through the colours with a stride so neighbours differ.
std::string MakePicture(int width, int height, int colors, int cpp) {
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    auto code = [&](int index) {
        std::string text(static_cast<size_t>(cpp), 'a');
        for (int i = cpp - 1; i >= 0; --i, index /= static_cast<int>(alphabet.size())) {
            text[static_cast<size_t>(i)] = alphabet[static_cast<size_t>(index) % alphabet.size()];
        }
        return text;
    };
    std::string text = "/* XPM */\nstatic char *bench[] = {\n\"" + std::to_string(width) + " " +
                       std::to_string(height) + " " + std::to_string(colors) + " " +
                       std::to_string(cpp) + "\",\n";
    for (int i = 0; i < colors; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%06X", (i * 2654435761u) & 0xFFFFFF);
        text += "\"" + code(i) + " c " + hex + "\",\n";
    }
    for (int y = 0; y < height; ++y) {
        text += '"';
        for (int x = 0; x < width; ++x) text += code((x * 7 + y * 13) % colors);
        text += y + 1 < height ? "\",\n" : "\"\n};\n";
    }
    return text;
}

void RunImports(benchmark::State& state, int width, int height, int colors, int cpp, bool wmf) {
    const Module& module = LoadedModule();
    if (!module.error.empty()) {
        state.SkipWithError(module.error.c_str());
        return;
    }
    const std::string text = MakePicture(width, height, colors, cpp);
    char path[] = "/tmp/import_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    close(fd);
    auto source = std::make_unique<SourceSpec>();
    std::strcpy(source->path, path);
    VrHostHooks hooks = {};
    hooks.size = sizeof hooks;
    hooks.metafileKind = wmf ? kVrMetafileWmf : kVrMetafileEmf;
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        PictureResult result = {};
        uint32_t code = module.importGR(&hooks, source.get(), &result, nullptr);
        if (code != 0 || result.picture == nullptr) {
            state.SkipWithError(("import failed with " + std::to_string(code)).c_str());
            break;
        }
        if (wmf) {
            bytes.resize(GetMetaFileBitsEx(result.picture, 0, nullptr));
            benchmark::DoNotOptimize(
                GetMetaFileBitsEx(result.picture, static_cast<UINT>(bytes.size()), bytes.data()));
            DeleteMetaFile(result.picture);
        } else {
            bytes.resize(GetEnhMetaFileBits(result.picture, 0, nullptr));
            benchmark::DoNotOptimize(
                GetEnhMetaFileBits(result.picture, static_cast<UINT>(bytes.size()), bytes.data()));
            DeleteEnhMetaFile(result.picture);
        }
    }
    unlink(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["pixels/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * width * height, benchmark::Counter::kIsRate);
}

void BM_ImportFile(benchmark::State& state) {
    RunImports(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
               static_cast<int>(state.range(2)), static_cast<int>(state.range(3)),
               state.range(4) != 0);
}

// The fixed cost of one import: an icon, where the profile, job and handle dominate the pixels.
void BM_ImportIcon48(benchmark::State& state) {
    RunImports(state, 48, 48, 64, 2, false);
    state.counters["icons/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportIcon48)->Unit(benchmark::kMicrosecond);

// width, height, colours, characters per pixel, WMF
BENCHMARK(BM_ImportFile)
    ->Args({32, 32, 6, 1, 0})
    ->Args({48, 48, 32, 1, 0})
    ->Args({48, 48, 200, 2, 0})
    ->Args({300, 400, 100, 2, 0})
    ->Args({1000, 1000, 16, 1, 0})
    ->Args({1000, 1000, 200, 2, 0})
    ->Args({1000, 1000, 200, 2, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
