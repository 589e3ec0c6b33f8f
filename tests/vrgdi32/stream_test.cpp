// Streams: the same bytes whatever the read sizes and the source, the seeking rules of each
// kind, look-back on forward-only sources (spilled to a file beyond the memory window), the
// read-routine protocol, and refusal of what cannot be opened or is not a stream.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vrgdi32/vrgdi32.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (uint32_t state = 12345; auto& b : bytes)
        b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
}

// One stream over bytes: a regular file, a memory block, or a host
// read routine that delivers at most `piece` bytes a call and tells `claimed` as the size
// (-1: unknown; by default the size, or unknown for "routine-unsized"); from read failAfter on
// it fails, and with overDeliver it answers more than asked.
struct Source {
    Bytes bytes;
    std::string kind = "routine";
    int32_t claimed = -2, piece = 7, failAfter = -1;
    bool overDeliver = false, sizeFirst = false, endless = false;  // endless: bytes over and over
    int sizeQueries = 0, reads = 0;
    std::size_t offset = 0;
    const uint8_t* block = nullptr;

    static int32_t Read(uint64_t self, void* buffer, int32_t count) {
        Source& r = *reinterpret_cast<Source*>(self);
        if (buffer == nullptr && count == 0)
            return r.sizeFirst = r.reads == 0 && r.sizeQueries++ == 0, r.claimed;
        if (++r.reads > r.failAfter && r.failAfter >= 0) return -EIO;
        const std::size_t n = std::min<std::size_t>(
            {std::size_t(count), std::size_t(r.piece), r.bytes.size() - r.offset});
        if (n != 0) std::memcpy(buffer, r.bytes.data() + r.offset, n), r.offset += n;
        if (r.endless && r.offset == r.bytes.size()) r.offset = 0;
        return r.overDeliver ? count + 1 : static_cast<int32_t>(n);
    }
    StreamHandle Open() {
        block = bytes.data();
        StreamSource source{reinterpret_cast<uint64_t>(&block),
                            static_cast<uint32_t>(bytes.size())};
        if (kind == "memory") return StreamOpen(nullptr, &source, 0);
        if (kind == "file") {  // a regular file; the stream opens a descriptor of its own
            const int fd = memfd_create("stream", 0);
            EXPECT_EQ(write(fd, block, bytes.size()), std::ssize(bytes));
            StreamHandle stream =
                StreamOpen(("/proc/self/fd/" + std::to_string(fd)).c_str(), nullptr, 0);
            return close(fd), stream;
        }
        if (kind == "pipe") {  // a pipe that a child fills; the stream reads it forward only
            int ends[2];
            EXPECT_EQ(pipe(ends), 0);
            if (fork() == 0)
                _exit(write(ends[1], block, bytes.size()) == std::ssize(bytes) ? 0 : 1);
            StreamHandle stream =
                StreamOpen(("/proc/self/fd/" + std::to_string(ends[0])).c_str(), nullptr, 0);
            return close(ends[0]), close(ends[1]), stream;
        }
        claimed = claimed != -2       ? claimed
                  : kind == "routine" ? static_cast<int32_t>(bytes.size())
                                      : -1;
        source = {
            reinterpret_cast<uint64_t>(this), 0, {}, reinterpret_cast<uint64_t>(&Source::Read)};
        return StreamOpen("/ignored/when/a/routine/reads", &source, 0);
    }
};

// Reads to the end in reads of the given sizes, in turn.
Bytes ReadAll(StreamHandle stream, std::vector<int32_t> sizes) {
    Bytes got, buffer(static_cast<std::size_t>(*std::max_element(sizes.begin(), sizes.end())));
    for (std::size_t step = 0;; ++step) {
        const int32_t n = StreamRead(stream, buffer.data(), sizes[step % sizes.size()]);
        EXPECT_LE(n, sizes[step % sizes.size()]);
        if (n <= 0) return got;
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
}

// The same bytes whatever the read sizes and the source, the seeking rules, and the read-routine
// protocol: the size
// is asked once, first, and counts as a lower bound; a routine that failed or said end is not
// asked again. The length is known at once but for a routine that does not tell it; asking for
// it reads nothing.
TEST(StreamTest, SameBytesWhateverTheReadSizeAndSource) {
    const Bytes content = Pattern(3 * 65536 + 1234);  // crosses the 64 KiB windows
    const int32_t n = static_cast<int32_t>(content.size());
    struct Case {
        const char* name;
        const char* kind;
        int32_t claimed, failAfter;
        bool overDeliver;
        int32_t wantBytes, lengthBefore, lengthAfter;
    };
    const Case cases[] = {
        {"file", "file", -2, -1, false, n, n, n},
        {"memory", "memory", -2, -1, false, n, n, n},
        {"routine", "routine", -2, -1, false, n, n, n},
        {"routine without a size", "routine", -1, -1, false, n, -1, n},
        {"routine that tells 10", "routine", 10, -1, false, n, 10, n},
        {"routine failing at once", "routine", -2, 0, false, 0, n, n},
        // Asked for what each read still needs: the reader gets what the two reads delivered.
        {"routine failing after two reads of 7", "routine", -2, 2, false, -1, n, n},
        {"routine without a size failing after two reads", "routine", -1, 2, false, -1, -1, -1},
        {"routine delivering more than asked", "routine", -2, -1, true, 0, n, n},
        {"pipe", "pipe", -1, -1, false, n, -1, n},
    };
    struct Seek {
        int32_t offset, origin, want;
    };
    // From 10 on, and never behind it but to fail: a routine stream goes back only that far.
    const Seek seeks[] = {
        {0, 1, 10},  {0, 2, n},           {10, 0, 10},    {5, 1, 15},
        {-5, 1, 10}, {-11, 1, -1},        {-1, 2, n - 1}, {1, 2, -1},
        {-1, 0, -1}, {0, 3, -1},          {0, -1, -1},    {n + 1, 0, -1},
        {n, 0, n},   {2147483647, 1, -1}, {20, 0, 20},    {50000, 0, 50000},
    };
    for (const Case& c : cases) {
        for (const std::vector<int32_t>& sizes : std::vector<std::vector<int32_t>>{
                 {1}, {3}, {4096}, {65536}, {100000}, {1, 2, 65535, 1, 70000, 17}}) {
            Source source{content, c.kind, c.claimed, 7, c.failAfter, c.overDeliver};
            StreamHandle stream = source.Open();
            EXPECT_EQ(std::vector<int32_t>(
                          {StreamSeek(stream, 0, 2), StreamSeek(stream, 0, 0), source.reads}),
                      std::vector<int32_t>({c.lengthBefore, 0, 0}))
                << c.name;
            const Bytes got = ReadAll(stream, sizes);
            const auto want = c.wantBytes >= 0 ? std::size_t(c.wantBytes) : source.offset;
            EXPECT_TRUE(got == Bytes(content.begin(), content.begin() + std::ptrdiff_t(want)) &&
                        (c.wantBytes >= 0 || want <= 14))
                << c.name << " in reads of " << sizes[0];
            EXPECT_EQ(StreamReadFailure(), c.failAfter >= 0 ? EIO
                                           : c.overDeliver  ? kVrReadRoutineFailed
                                                            : 0)
                << c.name << ": the cause of a failed read";
            const int readsBefore = source.reads;
            EXPECT_EQ(std::vector<int32_t>(
                          {StreamRead(stream, source.bytes.data(), 1), StreamSeek(stream, 0, 2)}),
                      std::vector<int32_t>({0, c.lengthAfter}))
                << c.name;
            StreamClose(stream);
            const int32_t routine =
                c.kind == std::string("routine");  // asked for the size once, first
            EXPECT_EQ(std::vector<int32_t>({source.reads, source.sizeQueries, source.sizeFirst}),
                      std::vector<int32_t>({readsBefore, routine, routine}))
                << c.name;
        }
        if (c.claimed != -2 || c.wantBytes != n)
            continue;  // the seeking rules, where the data all comes
        Source source{content, c.kind};
        StreamHandle stream = source.Open();
        uint8_t buffer[10];
        ASSERT_EQ(StreamRead(stream, buffer, 10), 10) << c.name;
        for (int32_t position = 10; const Seek& k : seeks) {
            const int32_t got = StreamSeek(stream, k.offset, k.origin);
            EXPECT_EQ(got, k.want)
                << c.name << ": seek(" << k.offset << ", " << k.origin << ") from " << position;
            position = got >= 0 ? got : position;
            // A position query on a routine stream also sets how far back it may go.
            EXPECT_TRUE(c.kind == std::string("routine") || StreamSeek(stream, 0, 1) == position)
                << c.name << ": position kept";
        }
        EXPECT_EQ(std::vector<int32_t>({StreamRead(stream, buffer, 4),
                                        std::memcmp(buffer, content.data() + 50000, 4)}),
                  std::vector<int32_t>({4, 0}))
            << c.name;
        StreamClose(stream);
    }
}

TEST(StreamTest, ForwardOnlyStreamGoesBackToTheLastReportedPosition) {
    // What the colour-key check does: note the position, read far ahead, go back. Beyond the
    // memory window (4 MiB) the bytes come back from a spill file, or, without one, from
    // memory; so they do when memory runs out half-way through (starved).
    // piece: the most the routine delivers a call (a whole 64 KiB chunk is no failure).
    struct Case {
        const char* kind;
        int32_t size, mark, piece;
        std::vector<int32_t> scanReads, rereads;
        bool starved;
        const char* tmpdir;
    };
    const Case cases[] = {
        {"routine-unsized", 300000, 1000, 65521, {1}, {4096}, false, "/tmp"},
        {"routine", 10 << 20, 1000, 65536, {65536, 1, 4093}, {1, 65535, 3, 100000}, true, "/tmp"},
        {"routine-unsized", 9 << 20, 5, 65521, {4096}, {70000}, true, ""},
        {"routine", 10 << 20, 3, 65536, {65536}, {65536}, false, "/no/such/directory"},
    };
    for (const Case& c : cases) {
        setenv("TMPDIR", c.tmpdir, 1);
        Source source{Pattern(c.size), c.kind, -2, c.piece};
        StreamHandle stream = source.Open();
        Bytes buffer(100000);
        ASSERT_EQ(std::vector<int32_t>(
                      {StreamRead(stream, buffer.data(), c.mark), StreamSeek(stream, 0, 1)}),
                  std::vector<int32_t>(2, c.mark));
        for (int32_t step = 0, at = c.mark, want; at < c.size; at += want, ++step) {
            if (c.starved && at >= c.size / 2) WinshimFailAllocationAfter(0);
            want = std::min(c.scanReads[step % c.scanReads.size()], c.size - at);
            ASSERT_EQ(StreamRead(stream, buffer.data(), want), want)
                << c.size << " bytes: read at " << at;
        }
        WinshimFailAllocationAfter(-1);
        // Twice: going back works again from wherever the first pass ended; before the last
        // reported position the stream does not go.
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(StreamSeek(stream, c.mark, 0), c.mark);
            EXPECT_TRUE(ReadAll(stream, c.rereads) ==
                        Bytes(source.bytes.begin() + c.mark, source.bytes.end()))
                << c.size;
        }
        EXPECT_EQ(std::vector<int32_t>({StreamSeek(stream, 0, 1), StreamSeek(stream, c.mark - 1, 0),
                                        StreamSeek(stream, c.size - 1, 0)}),
                  std::vector<int32_t>({c.size, -1, -1}))
            << c.size;
        StreamClose(stream);
    }
    // An endless source read on from one mark: at most 256 MiB are held (64 MiB in memory when
    // no file takes them); then reads fail, and say why.
    for (const auto& [tmpdir, limit] : {std::pair{"/tmp", 256 << 20}, {"/no/such/dir", 64 << 20}}) {
        setenv("TMPDIR", tmpdir, 1);
        Source source{Pattern(65536), "routine", -1, 65536};
        source.endless = true;
        StreamHandle stream = source.Open();
        Bytes buffer(65536);
        int64_t held = 0;
        for (int32_t got; (got = StreamRead(stream, buffer.data(), 65536)) > 0;) held += got;
        EXPECT_EQ(StreamReadFailure(), kVrReadLookBackLimit) << tmpdir;
        EXPECT_TRUE(held <= limit && held > limit - (1 << 20)) << tmpdir << ": " << held;
        StreamClose(stream);
    }
    unsetenv("TMPDIR");
}

TEST(StreamTest, WhatCannotBeOpenedOrRead) {
    const uint8_t* noBlock = nullptr;
    Source routine{{}, "routine", 0};
    const StreamSource empty{}, missingBlock{reinterpret_cast<uint64_t>(&noBlock), 10},
        viaRoutine{
            reinterpret_cast<uint64_t>(&routine), 0, {}, reinterpret_cast<uint64_t>(&Source::Read)};
    struct Case {
        const char* name;
        const char* path;
        const StreamSource* source;
        int64_t failAllocation;
        bool opens;
    };
    const Case cases[] = {
        {"empty memory block", nullptr, &empty, -1, true},
        {"empty routine", nullptr, &viaRoutine, -1, true},
        {"empty device", "/dev/null", nullptr, -1, true},
        {"10 bytes of memory at no address", nullptr, &missingBlock, -1, false},
        {"missing file", "/no/such/file.xpm", nullptr, -1, false},
        {"directory", "/tmp", nullptr, -1, false},
        {"nothing", nullptr, nullptr, -1, false},
        {"empty name", "", nullptr, -1, false},
        {"no memory for a file's window", "/proc/self/exe", nullptr, 0, false},
        {"no memory for a pipe's window", "/dev/zero", nullptr, 0, false},
        {"no memory for a routine's window", nullptr, &viaRoutine, 0, false},
    };
    uint8_t byte;
    for (const Case& c : cases) {
        WinshimFailAllocationAfter(c.failAllocation);
        StreamHandle stream = StreamOpen(c.path, c.source, 0);
        WinshimFailAllocationAfter(-1);
        EXPECT_EQ(std::vector<int32_t>(
                      {stream != nullptr, StreamRead(stream, &byte, 1), StreamSeek(stream, 0, 1)}),
                  std::vector<int32_t>({c.opens, 0, c.opens ? 0 : -1}))
            << c.name;
        StreamClose(stream);
    }
    // A closed stream's handle does not name its successor; a read without a buffer reads nothing.
    Source memory{Pattern(100), "memory"};
    StreamHandle closed = memory.Open(), again = (StreamClose(closed), memory.Open());
    EXPECT_EQ(std::vector<int32_t>({StreamRead(closed, &byte, 1), StreamRead(again, nullptr, 1),
                                    StreamRead(again, &byte, -5), StreamSeek(again, 0, 1)}),
              std::vector<int32_t>({0, 0, 0, 0}));
    StreamClose(again);
}

}  // namespace
