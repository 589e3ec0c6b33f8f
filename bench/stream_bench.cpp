// Cost of the filter's hot path in the graphics library: StreamRead of one byte at a time and
// of blocks (the argument is the read size), from a memory block, a file and a host read
// routine; and the look-back of a routine stream over more than its memory window.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
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
    const auto size = static_cast<int32_t>(state.range(0));
    static char block[1 << 16];
    size_t total = 0;
    if (size == 1) {
        while (StreamRead(stream, block, 1) == 1) ++total;
    } else {
        for (int32_t got; (got = StreamRead(stream, block, size)) > 0;)
            total += static_cast<size_t>(got);
    }
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

// A stream that reads `input` through the host read routine.
StreamHandle OpenRoutineStream(RoutineInput* input) {
    StreamSource source{};
    source.source = reinterpret_cast<uint64_t>(input);
    source.routine = reinterpret_cast<uint64_t>(&ReadFromString);
    return StreamOpen(nullptr, &source, 0);
}

void BM_RoutineStreamByteReads(benchmark::State& state) {
    std::string text(kInputBytes, 'x');
    for (auto _ : state) {
        RoutineInput input{&text, 0};
        StreamHandle stream = OpenRoutineStream(&input);
        ReadAllOneByOne(state, stream);
        StreamClose(stream);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInputBytes));
}

// What the colour-key check does on a long scan: note the position, read 64 MiB ahead, go
// back and read it all again. Reports the process's peak resident size.
void BM_RoutineStreamLookBack(benchmark::State& state) {
    const std::string text(64u << 20, 'x');
    static char block[1 << 16];
    for (auto _ : state) {
        RoutineInput input{&text, 0};
        StreamHandle stream = OpenRoutineStream(&input);
        size_t total = 0;
        if (StreamSeek(stream, 0, 1) != 0) state.SkipWithError("no position");
        for (int32_t got; (got = StreamRead(stream, block, sizeof block)) > 0;)
            total += static_cast<size_t>(got);
        if (StreamSeek(stream, 0, 0) != 0) state.SkipWithError("cannot go back");
        for (int32_t got; (got = StreamRead(stream, block, sizeof block)) > 0;)
            total += static_cast<size_t>(got);
        StreamClose(stream);
        if (total != 2 * text.size()) state.SkipWithError("short read");
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 *
                            static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_MemoryStreamByteReads)->Arg(1)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStreamByteReads)->Arg(1)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutineStreamByteReads)->Arg(1)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutineStreamLookBack)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
