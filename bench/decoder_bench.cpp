// Throughput of the XPM decode driver (DecodeXpmImage) on generated images, reading through
// the recording fake graphics library with no status procedure. Reports input bytes and
// pixels per second; the fake's own cost (per-byte reads, copied bands) is included.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "output/import_context.h"
#include "recording_library.h"
#include "winshim/winshim.h"
#include "xpm/header_values.h"
#include "xpm/image_decoder.h"

namespace {

std::string CodeFor(int index, int charsPerPixel) {
    static const char kAlphabet[] =
        ".#abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789@$%&*+-=";
    const int base = static_cast<int>(sizeof kAlphabet) - 1;
    std::string code;
    for (int i = 0; i < charsPerPixel; ++i, index /= base) code += kAlphabet[index % base];
    return code;
}

// The text from the values line on, pixels spread evenly over the colours in a fixed
// pseudo-random order, so that a linear code search costs about half the table per pixel.
std::string MakeImage(int width, int height, int colors, int charsPerPixel) {
    std::string text = "\"" + std::to_string(width) + " " + std::to_string(height) + " " +
                       std::to_string(colors) + " " + std::to_string(charsPerPixel) + "\",\n";
    for (int i = 0; i < colors; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02X%02X%02X", i % 256, (i * 5) % 256, (i * 11) % 256);
        text += "\"" + CodeFor(i, charsPerPixel) + " c " + hex + "\",\n";
    }
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        text += "\"";
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            text += CodeFor(static_cast<int>((seed >> 8) % static_cast<uint32_t>(colors)),
                            charsPerPixel);
        }
        text += y + 1 < height ? "\",\n" : "\"\n};\n";
    }
    return text;
}

void BM_DecodeXpmImage(benchmark::State& state) {
    const int charsPerPixel = static_cast<int>(state.range(0));
    const int colors = static_cast<int>(state.range(1));
    const int width = static_cast<int>(state.range(2));
    const int height = static_cast<int>(state.range(3));
    const std::string text = MakeImage(width, height, colors, charsPerPixel);

    xpmtest::RecordingLibrary fake;
    fake.input = text;
    StatusSink sink{};  // no status procedure: progress never stops the decode
    xpmfilter::ImportContext import{reinterpret_cast<WriterHandle>(uintptr_t{0x5100}), &sink};

    for (auto _ : state) {
        fake.calls.clear();
        StreamHandle stream = fake.Table().StreamOpen(nullptr, nullptr, 0);
        xpmfilter::XpmValues values{};
        (void)xpmfilter::ReadValuesLine(stream, values);
        import.inputSize = static_cast<int32_t>(text.size());
        int32_t result = xpmfilter::DecodeXpmImage(import, stream, values);
        fake.Table().StreamClose(stream);
        if (result != 0) {
            state.SkipWithError("the decode failed");
            break;
        }
    }

    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["pixels/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * width * height, benchmark::Counter::kIsRate);
}

// (characters per pixel, colours, width, height); the last three are the shapes the
// comparison with other XPM readers uses.
BENCHMARK(BM_DecodeXpmImage)
    ->ArgNames({"cpp", "colors", "w", "h"})
    ->Args({1, 16, 1000, 1000})
    ->Args({1, 64, 1000, 1000})
    ->Args({2, 256, 1000, 1000})
    ->Args({3, 20000, 1000, 1000})
    ->Args({0, 1, 1000, 1000})
    ->Args({1, 64, 4096, 4096})
    ->Args({2, 256, 4096, 4096})
    ->Args({3, 4000, 2048, 2048})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
