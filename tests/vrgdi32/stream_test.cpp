// Streams: the same bytes whatever the read sizes and the source, the seeking rules of each
// kind, look-back on forward-only sources (spilled to a file beyond the memory window), the
// read-routine protocol, and refusal of what cannot be opened or is not a stream.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fault_hooks.h"
#include "vrgdi32/vrgdi32.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (uint32_t state = 12345; auto& b : bytes)
        b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
}

// One stream over bytes: a regular file, a memory block, a pipe a child fills, or a host read
// routine that delivers at most `piece` bytes a call and tells `claimed` as the size (-1:
// unknown; -2: the size for "routine", unknown for "routine-unsized"); from read failAfter on
// it answers failWith, and with overDeliver it answers more than asked; endless repeats bytes.
struct Source {
    Bytes bytes;
    std::string kind = "routine";
    int32_t claimed = -2, piece = 7, failAfter = -1, failWith = -EIO;
    bool overDeliver = false, endless = false;
    int sizeQueries = 0, reads = 0;
    bool sizeFirst = false;  // the size was asked before any read
    int32_t mostAsked = 0;   // the most bytes one call asked for
    std::size_t offset = 0;
    const uint8_t* block = nullptr;

    static int32_t Read(uint64_t self, void* buffer, int32_t count) {
        Source& r = *reinterpret_cast<Source*>(self);
        if (buffer == nullptr && count == 0) {
            r.sizeFirst = r.reads == 0 && r.sizeQueries++ == 0;
            return r.claimed;
        }
        r.mostAsked = std::max(r.mostAsked, count);
        if (++r.reads > r.failAfter && r.failAfter >= 0) return r.failWith;
        const std::size_t n = std::min<std::size_t>(
            {std::size_t(count), std::size_t(r.piece), r.bytes.size() - r.offset});
        std::copy_n(r.bytes.begin() + std::ptrdiff_t(r.offset), n, static_cast<uint8_t*>(buffer));
        r.offset = r.endless && r.offset + n == r.bytes.size() ? 0 : r.offset + n;
        return r.overDeliver ? count + 1 : static_cast<int32_t>(n);
    }
    StreamHandle Open() {
        block = bytes.data();
        StreamSource source{reinterpret_cast<uint64_t>(&block),
                            static_cast<uint32_t>(bytes.size())};
        if (kind == "memory") return StreamOpen(nullptr, &source, 0);
        int fd = -1, ends[2];
        if (kind == "file") {  // the stream opens a descriptor of its own
            fd = memfd_create("stream", 0);
            EXPECT_EQ(write(fd, block, bytes.size()), std::ssize(bytes));
        }
        if (kind == "pipe" && pipe(ends) == 0) {  // read forward only
            if (fork() == 0)
                _exit(write(ends[1], block, bytes.size()) == std::ssize(bytes) ? 0 : 1);
            close(ends[1]);
            fd = ends[0];
        }
        if (fd >= 0) {
            StreamHandle stream =
                StreamOpen(("/proc/self/fd/" + std::to_string(fd)).c_str(), nullptr, 0);
            close(fd);
            return stream;
        }
        if (claimed == -2) claimed = kind == "routine" ? static_cast<int32_t>(bytes.size()) : -1;
        source = {reinterpret_cast<uint64_t>(this), 0, {}, reinterpret_cast<uint64_t>(&Read)};
        return StreamOpen("/ignored/when/a/routine/reads", &source, 0);
    }
};

// Reads until a read gives nothing, in reads of the given sizes, in turn. A stale errno before
// each read (EINTR, which a read retries on) is no failure of it and no reason to read again. A
// stream that holds `length` bytes (-1: unknown) gives every read all it asks for until the end.
Bytes ReadAll(StreamHandle stream, std::vector<int32_t> sizes, int64_t length = -1) {
    Bytes got, buffer(static_cast<std::size_t>(*std::max_element(sizes.begin(), sizes.end())));
    for (std::size_t step = 0;; ++step) {
        errno = EINTR;
        const int32_t asked = sizes[step % sizes.size()];
        const int32_t n = StreamRead(stream, buffer.data(), asked);
        EXPECT_LE(n, asked);
        if (length >= 0) {
            EXPECT_EQ(n, std::min<int64_t>(asked, length - std::ssize(got)))
                << "a short read " << std::ssize(got) << " bytes in";
        }
        if (n <= 0) return got;
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
}

// The same bytes whatever the read sizes and the source; the seeking rules; and the read-routine
// protocol: the size is asked once, first, and counts as a lower bound; a read asks the routine
// for no more than it still needs; a routine that failed or said end is not asked again. The
// length is known at once but for a routine that does not tell it; asking for it reads nothing.
TEST(StreamTest, SameBytesWhateverTheReadSizeAndSource) {
    constexpr int32_t n = 3 * 65536 + 1234;  // crosses the 64 KiB windows
    const Bytes content = Pattern(n);
    // wantBytes -1: what the reads before the failure delivered; lengths: of a seek to the end
    // before and after reading; cause: StreamReadFailure afterwards.
    struct Case {
        const char* name;
        Source source;
        int32_t wantBytes = n, lengthBefore = n, lengthAfter = n, cause = 0;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "a regular file", .source = {.kind = "file"}},
        {.name = "a memory block", .source = {.kind = "memory"}},
        {.name = "a routine that tells its size"},
        {.name = "a routine that tells no size", .source = {.claimed = -1}, .lengthBefore = -1},
        {.name = "a routine that tells less than it has", .source = {.claimed = 10}, .lengthBefore = 10},
        {.name = "a routine failing at once", .source = {.failAfter = 0}, .wantBytes = 0, .cause = EIO},
        {.name = "a routine failing after two reads", .source = {.failAfter = 2}, .wantBytes = -1, .cause = EIO},
        {.name = "a routine that tells no size failing after two reads", .source = {.claimed = -1, .failAfter = 2},
         .wantBytes = -1, .lengthBefore = -1, .lengthAfter = -1, .cause = EIO},
        {.name = "a routine failing with the least error number", .source = {.failAfter = 0, .failWith = -2},
         .wantBytes = 0, .cause = 2},
        {.name = "a routine failing with the greatest error number", .source = {.failAfter = 0, .failWith = -4095},
         .wantBytes = 0, .cause = 4095},
        {.name = "a routine failing with -1", .source = {.failAfter = 0, .failWith = -1}, .wantBytes = 0,
         .cause = kVrReadRoutineFailed},
        {.name = "a routine failing with no error number", .source = {.failAfter = 0, .failWith = -4096},
         .wantBytes = 0, .cause = kVrReadRoutineFailed},
        {.name = "a routine delivering more than asked", .source = {.overDeliver = true}, .wantBytes = 0,
         .cause = kVrReadRoutineFailed},
        {.name = "a pipe", .source = {.kind = "pipe"}, .lengthBefore = -1},
    };
    // From 10 on; each position reached is read there. A file stream's 64 KiB window starts
    // where a read found nothing held: at 20 from "back near the start" on, at 65557 after.
    struct Seek {
        const char* name;
        int32_t offset, origin, want;
    };
    const Seek seeks[] = {
        {.name = "where it is", .offset = 0, .origin = 1, .want = 10},
        {.name = "to the end", .offset = 0, .origin = 2, .want = n},
        {.name = "from the start", .offset = 10, .origin = 0, .want = 10},
        {.name = "forward from here", .offset = 5, .origin = 1, .want = 15},
        {.name = "back from here", .offset = -5, .origin = 1, .want = 10},
        {.name = "back from the end", .offset = -1, .origin = 2, .want = n - 1},
        {.name = "past the end", .offset = 1, .origin = 2, .want = -1},
        {.name = "before the start", .offset = -1, .origin = 0, .want = -1},
        {.name = "an unknown origin", .offset = 0, .origin = 3, .want = -1},
        {.name = "to the end from the start", .offset = n, .origin = 0, .want = n},
        {.name = "beyond 32 bits", .offset = 2147483647, .origin = 1, .want = -1},
        {.name = "back near the start", .offset = 20, .origin = 0, .want = 20},
        {.name = "far ahead, in the window", .offset = 50000, .origin = 0, .want = 50000},
        {.name = "just past the window", .offset = 20 + 65536 + 1, .origin = 0, .want = 65557},
        {.name = "just before the window", .offset = 65556, .origin = 0, .want = 65556},
    };
    // clang-format on
    for (const Case& c : cases) {
        const bool routine = c.source.kind == "routine";
        for (const std::vector<int32_t>& sizes : std::vector<std::vector<int32_t>>{
                 {1}, {3}, {4096}, {65536}, {100000}, {1, 2, 65535, 1, 70000, 17}}) {
            Source source = c.source;
            source.bytes = content;
            StreamHandle stream = source.Open();
            const std::string what = std::string(c.name) + ", reads of " + std::to_string(sizes[0]);
            EXPECT_EQ(std::vector<int32_t>(
                          {StreamSeek(stream, 0, 2), StreamSeek(stream, 0, 0), source.reads}),
                      std::vector<int32_t>({c.lengthBefore, 0, 0}))
                << what << ": the length, back to the start, reads made for them";
            const bool whole = c.source.kind == "file" || c.source.kind == "memory";
            const Bytes got = ReadAll(stream, sizes, whole ? n : -1);
            const auto want = c.wantBytes >= 0 ? std::size_t(c.wantBytes) : source.offset;
            EXPECT_TRUE(got == Bytes(content.begin(), content.begin() + std::ptrdiff_t(want)) &&
                        (c.wantBytes >= 0 || want <= 14))
                << what << ": " << got.size() << " bytes, want " << want;
            const int readsBefore = source.reads;
            EXPECT_EQ(
                std::vector<int32_t>({StreamReadFailure(), StreamRead(stream, &source.bytes[0], 1),
                                      StreamSeek(stream, 0, 2)}),
                std::vector<int32_t>({c.cause, 0, c.lengthAfter}))
                << what << ": the cause of a failed read, a read at the end, the length then";
            StreamClose(stream);
            const int32_t mostNeeded = *std::max_element(sizes.begin(), sizes.end());
            EXPECT_TRUE(source.reads == readsBefore && source.sizeQueries == routine &&
                        source.sizeFirst == routine && source.mostAsked <= mostNeeded)
                << what << ": asked again after the end, for the size not once and first, or for "
                << source.mostAsked << " bytes at once";
        }
        if (c.lengthBefore != n || c.wantBytes != n) continue;  // the seeks: all data, a length
        Source source{.bytes = content, .kind = c.source.kind};
        StreamHandle stream = source.Open();
        uint8_t byte = 0, first[10];
        int32_t position = 10;
        ASSERT_EQ(StreamRead(stream, first, 10), 10) << c.name;
        for (const Seek& k : seeks) {
            const int32_t got = StreamSeek(stream, k.offset, k.origin);
            const bool there = got < 0 || got == n ||
                               (StreamRead(stream, &byte, 1) == 1 && byte == content[got] &&
                                StreamSeek(stream, got, 0) == got);
            // A position query on a routine stream also sets how far back it may go.
            const bool kept = routine || StreamSeek(stream, 0, 1) == (got >= 0 ? got : position);
            EXPECT_TRUE(got == k.want && there && kept)
                << c.name << ": seek " << k.name << " (" << k.offset << ", " << k.origin
                << ") from " << position << " gave " << got << ", want " << k.want
                << (there ? "" : "; not the byte there") << (kept ? "" : "; the position lost");
            position = got >= 0 ? got : position;
        }
        StreamClose(stream);
    }
}

// What the colour-key check does: note the position, read far ahead, go back. Beyond the memory
// window (4 MiB) the bytes come back from a spill file, or, without one, from memory; so they
// do when memory runs out, or the spill file's disk fills, half-way through (starved, of
// starvedOf: the first allocation or write of every read fails). piece: the most the routine
// delivers a call (a whole 64 KiB chunk is no failure). Within the window, the window grows with
// what it holds.
TEST(StreamTest, ForwardOnlyStreamGoesBackToTheLastToldPosition) {
    struct Case {
        const char* name;
        const char* kind;
        int32_t size, mark, piece;
        std::vector<int32_t> scanReads, rereads;
        bool starved = false;
        const char* tmpdir = "/tmp";
        xpmfault::Kind starvedOf = xpmfault::Kind::kAllocation;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "no size told, within the window", .kind = "routine-unsized", .size = 300000,
         .mark = 1000, .piece = 65521, .scanReads = {1}, .rereads = {4096}},
        {.name = "spilled to a file, memory short half-way", .kind = "routine", .size = 10 << 20,
         .mark = 1000, .piece = 65536, .scanReads = {65536, 1, 4093},
         .rereads = {1, 65535, 3, 100000}, .starved = true},
        {.name = "no spill file, memory short half-way", .kind = "routine-unsized",
         .size = 9 << 20, .mark = 5, .piece = 65521, .scanReads = {4096}, .rereads = {70000},
         .starved = true, .tmpdir = ""},
        {.name = "spill file full half-way", .kind = "routine", .size = 10 << 20, .mark = 1000, .piece = 65536,
         .scanReads = {65536}, .rereads = {65536}, .starved = true, .starvedOf = xpmfault::Kind::kWrite},
    };
    // clang-format on
    for (const Case& c : cases) {
        setenv("TMPDIR", c.tmpdir, 1);
        Source source{.bytes = Pattern(c.size), .kind = c.kind, .piece = c.piece};
        StreamHandle stream = source.Open();
        Bytes buffer(100000);
        ASSERT_EQ(StreamRead(stream, buffer.data(), c.mark), c.mark) << c.name;
        ASSERT_EQ(StreamSeek(stream, 0, 1), c.mark) << c.name;
        for (int32_t step = 0, at = c.mark, want, got; at < c.size; at += want, ++step) {
            want = std::min(c.scanReads[step % c.scanReads.size()], c.size - at);
            const auto read = [&] { got = StreamRead(stream, buffer.data(), want); };
            if (c.starved && at >= c.size / 2)
                (void)xpmfault::FailDuring(c.starvedOf, 0, read);
            else
                read();
            ASSERT_EQ(got, want) << c.name << ": read at " << at;
        }
        // Twice: going back works again from wherever the first pass ended; before the last
        // told position the stream does not go.
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(StreamSeek(stream, c.mark, 0), c.mark) << c.name;
            EXPECT_TRUE(ReadAll(stream, c.rereads) ==
                        Bytes(source.bytes.begin() + c.mark, source.bytes.end()))
                << c.name << ": pass " << pass;
        }
        EXPECT_EQ(std::vector<int32_t>({StreamSeek(stream, 0, 1), StreamSeek(stream, c.mark - 1, 0),
                                        StreamSeek(stream, c.size - 1, 0)}),
                  std::vector<int32_t>({c.size, -1, -1}))
            << c.name << ": the position; before the mark; back into the dropped bytes";
        StreamClose(stream);
    }
    // An endless source read on from one mark: at most 256 MiB are held (64 MiB in memory when
    // no file takes them); then reads fail, and say why.
    for (const auto& [tmpdir, limit] : {std::pair{"/tmp", 256 << 20}, {"/no/such/dir", 64 << 20}}) {
        setenv("TMPDIR", tmpdir, 1);
        Source source{.bytes = Pattern(65536), .claimed = -1, .piece = 65536, .endless = true};
        StreamHandle stream = source.Open();
        Bytes buffer(65536);
        int64_t held = 0;
        for (int32_t got; (got = StreamRead(stream, buffer.data(), 65536)) > 0;) held += got;
        EXPECT_TRUE(StreamReadFailure() == kVrReadLookBackLimit && held <= limit &&
                    held > limit - (1 << 20))
            << tmpdir << ": " << held << " bytes held, failure " << StreamReadFailure();
        StreamClose(stream);
    }
    unsetenv("TMPDIR");
    // A reader that tells its position as it goes reads any length in its first window: what
    // lies before the position told is dropped, nothing more is allocated.
    Source source{.bytes = Pattern(65536), .claimed = -1, .piece = 65536, .endless = true};
    StreamHandle stream = source.Open();
    Bytes buffer(5000);
    xpmfault::StartCounting();
    xpmfault::Resume();
    for (int i = 0; i < 5000 && StreamRead(stream, buffer.data(), 4999 - i) > 0; ++i)
        (void)StreamSeek(stream, 0, 1);
    xpmfault::Pause();
    EXPECT_EQ(xpmfault::Seen(xpmfault::Kind::kAllocation), 0u) << "read with its position told";
    StreamClose(stream);
}

TEST(StreamTest, WhatCannotBeOpenedOrRead) {
    const uint8_t* noBlock = nullptr;
    Source routine{.claimed = 0};
    const StreamSource empty{}, missingBlock{reinterpret_cast<uint64_t>(&noBlock), 10},
        viaRoutine{
            reinterpret_cast<uint64_t>(&routine), 0, {}, reinterpret_cast<uint64_t>(&Source::Read)};
    // noMemory: each allocation of the open fails in turn.
    struct Case {
        const char* name;
        const char* path = nullptr;
        const StreamSource* source = nullptr;
        bool noMemory = false, opens = false;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "an empty memory block", .source = &empty, .opens = true},
        {.name = "an empty routine", .source = &viaRoutine, .opens = true},
        {.name = "an empty device", .path = "/dev/null", .opens = true},
        {.name = "a file whose reads fail", .path = "/proc/self/mem", .opens = true},
        {.name = "10 bytes of memory at no address", .source = &missingBlock},
        {.name = "a missing file", .path = "/no/such/file.xpm"},
        {.name = "a directory", .path = "/tmp"},
        {.name = "nothing"},
        {.name = "an empty name", .path = ""},
        {.name = "no memory for a file's window", .path = "/proc/self/exe", .noMemory = true},
        {.name = "no memory for a pipe's window", .path = "/dev/zero", .noMemory = true},
        {.name = "no memory for a routine's window", .source = &viaRoutine, .noMemory = true},
    };
    // clang-format on
    uint8_t byte;
    for (const Case& c : cases) {
        for (uint64_t n = 0;; ++n) {
            StreamHandle stream = nullptr;
            const auto open = [&] { stream = StreamOpen(c.path, c.source, 0); };
            if (!c.noMemory) open();
            if (c.noMemory && !xpmfault::FailDuring(xpmfault::Kind::kAllocation, n, open)) {
                StreamClose(stream);
                break;
            }
            EXPECT_EQ(std::vector<int32_t>({stream != nullptr, StreamRead(stream, &byte, 1),
                                            StreamSeek(stream, 0, 1)}),
                      std::vector<int32_t>({c.opens, 0, c.opens ? 0 : -1}))
                << c.name << ", allocation " << n << ": opened, a read, the position";
            StreamClose(stream);
            if (!c.noMemory) break;
        }
    }
    // A closed stream's handle does not name its successor; a read without a buffer or of a
    // negative count reads nothing.
    Source memory{.bytes = Pattern(100), .kind = "memory"};
    StreamHandle closed = memory.Open();
    StreamClose(closed);
    StreamHandle again = memory.Open();
    EXPECT_EQ(std::vector<int32_t>({StreamRead(closed, &byte, 1), StreamRead(again, nullptr, 1),
                                    StreamRead(again, &byte, -5), StreamSeek(again, 0, 1)}),
              std::vector<int32_t>({0, 0, 0, 0}));
    StreamClose(again);
    // A file of 2 GiB: its last position of 31 bits is told, the one after is not.
    const int big = memfd_create("big", 0);
    StreamHandle far =
        ftruncate(big, int64_t{1} << 31) == 0
            ? StreamOpen(("/proc/self/fd/" + std::to_string(big)).c_str(), nullptr, 0)
            : nullptr;
    close(big);
    EXPECT_EQ(std::vector<int32_t>({StreamSeek(far, INT32_MAX, 0), StreamSeek(far, 0, 1),
                                    StreamRead(far, &byte, 1), StreamSeek(far, 0, 1)}),
              std::vector<int32_t>({INT32_MAX, INT32_MAX, 1, -1}));
    StreamClose(far);
}

}  // namespace
