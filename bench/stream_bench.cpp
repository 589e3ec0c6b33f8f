// Cost of the filter's hot path in the graphics library: StreamRead of one byte at a time,
// from a memory block, a file and a host read routine.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "vrgdi32/vrgdi32.h"

namespace {

constexpr size_t kInputBytes = 1 << 20;

struct RoutineInput {
    const std::string* text;
    size_t position;
};

int32_t ReadFromString(uint64_t userData, void* buffer, int32_t count) {
    auto* input = reinterpret_cast<RoutineInput*>(userData);
    if (buffer == nullptr) return static_cast<int32_t>(input->text->size());
    size_t n = std::min(static_cast<size_t>(count), input->text->size() - input->position);
    std::memcpy(buffer, input->text->data() + input->position, n);
    input->position += n;
    return static_cast<int32_t>(n);
}

void ReadAllOneByOne(benchmark::State& state, StreamHandle stream) {
    char byte;
    size_t total = 0;
    while (StreamRead(stream, &byte, 1) == 1) ++total;
    if (total != kInputBytes) state.SkipWithError("short read");
}

void BM_MemoryStreamByteReads(benchmark::State& state) {
    std::string text(kInputBytes, 'x');
    void* address = text.data();
    for (auto _ : state) {
        StreamSource source{};
        source.source = reinterpret_cast<uint64_t>(&address);
        source.memorySize = static_cast<uint32_t>(text.size());
        StreamHandle stream = StreamOpen(nullptr, &source, 0);
        ReadAllOneByOne(state, stream);
        StreamClose(stream);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInputBytes));
}

void BM_FileStreamByteReads(benchmark::State& state) {
    char path[] = "/tmp/stream_benchXXXXXX";
    int fd = mkstemp(path);
    std::string text(kInputBytes, 'x');
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("cannot make the input file");
        return;
    }
    close(fd);
    for (auto _ : state) {
        StreamHandle stream = StreamOpen(path, nullptr, 0);
        ReadAllOneByOne(state, stream);
        StreamClose(stream);
    }
    unlink(path);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInputBytes));
}

void BM_RoutineStreamByteReads(benchmark::State& state) {
    std::string text(kInputBytes, 'x');
    for (auto _ : state) {
        RoutineInput input{&text, 0};
        StreamSource source{};
        source.source = reinterpret_cast<uint64_t>(&input);
        source.routine = reinterpret_cast<uint64_t>(&ReadFromString);
        StreamHandle stream = StreamOpen(nullptr, &source, 0);
        ReadAllOneByOne(state, stream);
        StreamClose(stream);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInputBytes));
}

BENCHMARK(BM_MemoryStreamByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStreamByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutineStreamByteReads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
