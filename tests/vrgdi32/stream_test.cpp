// Streams: the same bytes whatever the read sizes and the source, the seeking rules of
// each kind of stream, the read-routine protocol, and safe handling of bad handles.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "vrgdi32/vrgdi32.h"

namespace {

std::vector<uint8_t> Pattern(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 12345;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        char name[] = "/tmp/vrgdi32_stream_XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        if (fd >= 0) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            close(fd);
        }
    }
    ~TempFile() { unlink(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// A host read routine over a byte vector that delivers at most `piece` bytes per call and
// records how it was called.
struct RoutineSource {
    std::vector<uint8_t> bytes;
    std::size_t offset = 0;
    int32_t piece = 7;
    bool knowsSize = true;
    int32_t failAfterCalls = -1;  // answer -1 from this call on
    bool overDeliver = false;     // answer more than asked once
    int sizeQueries = 0;
    int reads = 0;
    bool sizeQueryCameFirst = false;

    static int32_t Read(uint64_t userData, void* buffer, int32_t count) {
        auto* self = reinterpret_cast<RoutineSource*>(userData);
        if (buffer == nullptr && count == 0) {
            if (self->reads == 0 && self->sizeQueries == 0) self->sizeQueryCameFirst = true;
            ++self->sizeQueries;
            return self->knowsSize ? static_cast<int32_t>(self->bytes.size()) : -1;
        }
        ++self->reads;
        if (self->failAfterCalls >= 0 && self->reads > self->failAfterCalls) return -1;
        if (self->overDeliver) return count + 1;
        const std::size_t left = self->bytes.size() - self->offset;
        std::size_t n = static_cast<std::size_t>(count < self->piece ? count : self->piece);
        if (n > left) n = left;
        std::memcpy(buffer, self->bytes.data() + self->offset, n);
        self->offset += n;
        return static_cast<int32_t>(n);
    }

    StreamSource Source() {
        StreamSource source{};
        source.source = reinterpret_cast<uint64_t>(this);
        source.routine = reinterpret_cast<uint64_t>(&RoutineSource::Read);
        return source;
    }
};

// Reads to the end in reads of the given sizes, used in turn.
std::vector<uint8_t> ReadAll(StreamHandle stream, std::vector<int32_t> sizes) {
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(static_cast<std::size_t>(*std::max_element(sizes.begin(), sizes.end())));
    for (std::size_t step = 0;; ++step) {
        const int32_t chunk = sizes[step % sizes.size()];
        const int32_t n = StreamRead(stream, buffer.data(), chunk);
        if (n <= 0) break;
        EXPECT_LE(n, chunk);
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
    return got;
}

// Opens one of the kinds of stream over bytes. The owner objects must outlive the stream.
struct StreamMaker {
    std::string kind;
    std::vector<uint8_t> bytes;
    std::unique_ptr<TempFile> file;
    const uint8_t* block = nullptr;
    RoutineSource routine;

    StreamHandle Open() {
        if (kind == "file") {
            file = std::make_unique<TempFile>(bytes);
            return StreamOpen(file->path(), nullptr, 0);
        }
        if (kind == "memory") {
            block = bytes.data();
            StreamSource source{};
            source.source = reinterpret_cast<uint64_t>(&block);
            source.memorySize = static_cast<uint32_t>(bytes.size());
            return StreamOpen(nullptr, &source, 0);
        }
        routine.bytes = bytes;
        routine.knowsSize = kind != "routine-unsized";
        StreamSource source = routine.Source();
        return StreamOpen("/path/that/is/ignored", &source, 0);
    }
};

const char* const kKinds[] = {"file", "memory", "routine", "routine-unsized"};

TEST(StreamTest, SameBytesWhateverTheReadSizeAndSource) {
    // Crosses the 64 KiB windows several times, with an odd tail.
    const std::vector<uint8_t> content = Pattern(3 * 65536 + 1234);
    const std::vector<std::vector<int32_t>> readSizes = {
        {1}, {3}, {4096}, {65536}, {100000}, {1, 2, 65535, 1, 70000, 17}};
    for (const char* kind : kKinds) {
        for (const std::vector<int32_t>& sizes : readSizes) {
            StreamMaker maker{kind, content};
            StreamHandle stream = maker.Open();
            ASSERT_NE(stream, nullptr) << kind;
            const std::vector<uint8_t> got = ReadAll(stream, sizes);
            EXPECT_TRUE(got == content) << kind << " in reads of " << sizes[0] << " (of " << sizes.size()
                                        << " sizes): got " << got.size() << " bytes, want " << content.size()
                                        << " equal bytes";
            EXPECT_EQ(StreamRead(stream, maker.bytes.data(), 1), 0) << kind << ": read after the end";
            StreamClose(stream);
        }
    }
}

TEST(StreamTest, SeekingByOriginAndLength) {
    const std::vector<uint8_t> content = Pattern(100000);
    const int32_t size = static_cast<int32_t>(content.size());
    for (const char* kind : {"file", "memory", "routine"}) {
        StreamMaker maker{kind, content};
        StreamHandle stream = maker.Open();
        ASSERT_NE(stream, nullptr);
        uint8_t buffer[10];
        ASSERT_EQ(StreamRead(stream, buffer, 10), 10);
        // The way a length is measured: where am I, how long, back again.
        EXPECT_EQ(StreamSeek(stream, 0, 1), 10) << kind;
        EXPECT_EQ(StreamSeek(stream, 0, 2), size) << kind;
        EXPECT_EQ(StreamRead(stream, buffer, 1), 0) << kind << ": read at the end";
        EXPECT_EQ(StreamSeek(stream, 10, 0), 10) << kind;
        ASSERT_EQ(StreamRead(stream, buffer, 1), 1);
        EXPECT_EQ(buffer[0], content[10]) << kind << ": byte after seeking back";

        struct Case {
            int32_t offset, origin, want;
        };
        const Case cases[] = {
            {5, 1, 16},   {-6, 1, 10}, {-1, 2, size - 1}, {20, 0, 20},      {-21, 1, -1},
            {1, 2, -1},   {size + 1, 0, -1}, {-1, 0, -1},  {0, 3, -1}, {50000, 0, 50000},
        };
        int32_t position = 11;
        for (const Case& c : cases) {
            const int32_t got = StreamSeek(stream, c.offset, c.origin);
            EXPECT_EQ(got, c.want) << kind << ": seek(" << c.offset << ", " << c.origin << ") from " << position;
            if (got >= 0) position = got;
            // A position query on a routine stream also sets how far back it may go.
            if (std::string(kind) == "routine") continue;
            EXPECT_EQ(StreamSeek(stream, 0, 1), position) << kind << ": position after a failed seek is kept";
        }
        ASSERT_EQ(StreamRead(stream, buffer, 4), 4);
        EXPECT_EQ(std::memcmp(buffer, content.data() + 50000, 4), 0) << kind;
        StreamClose(stream);
    }
}

TEST(StreamTest, RoutineStreamReturnsToTheLastReportedPosition) {
    // What the colour-key check does: note the position, scan far ahead, go back. Beyond the
    // memory window (4 MiB) the bytes come back from a spill file, and the window takes no
    // more memory.
    struct Case {
        const char* kind;
        std::size_t size, mark, scanned;
        std::vector<int32_t> scanReads, rereads;
        bool starved;  // allocation fails from half-way through the scan
    };
    const Case cases[] = {
        {"routine-unsized", 300000, 1000, 250000, {1}, {4096}, false},
        {"routine", 10u << 20, 1000, 9u << 20, {65536, 1, 4093}, {1, 65535, 3, 100000}, true},
        {"routine-unsized", 9u << 20, 5, (9u << 20) - 5, {4096}, {70000}, true},  // to the end
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> content = Pattern(c.size);
        StreamMaker maker{c.kind, content};
        maker.routine.piece = c.size > 1000000 ? 65521 : 7;  // odd pieces, not too many calls
        StreamHandle stream = maker.Open();
        ASSERT_NE(stream, nullptr);
        if (!maker.routine.knowsSize) { EXPECT_EQ(StreamSeek(stream, 0, 2), -1) << "no size, end not reached"; }
        const auto mark = static_cast<int32_t>(c.mark);
        std::vector<uint8_t> buffer(c.mark);
        ASSERT_EQ(StreamRead(stream, buffer.data(), mark), mark);
        ASSERT_EQ(StreamSeek(stream, 0, 1), mark);
        buffer.resize(100000);
        std::size_t scanned = 0;
        for (std::size_t step = 0; scanned < c.scanned; ++step) {
            if (c.starved && scanned >= c.scanned / 2) WinshimFailAllocationAfter(0);
            const auto want = static_cast<int32_t>(std::min<std::size_t>(c.scanReads[step % c.scanReads.size()],
                                                                         c.scanned - scanned));
            const int32_t got = StreamRead(stream, buffer.data(), want);
            ASSERT_EQ(got, want) << c.size << " bytes: read at " << c.mark + scanned;
            scanned += static_cast<std::size_t>(got);
        }
        WinshimFailAllocationAfter(-1);
        // Twice: going back works again from wherever the first pass ended.
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(StreamSeek(stream, mark, 0), mark);
            std::vector<uint8_t> rest = ReadAll(stream, c.rereads);
            EXPECT_TRUE(rest.size() == content.size() - c.mark &&
                        std::equal(rest.begin(), rest.end(), content.begin() + mark))
                << c.size << " bytes, pass " << pass << ": got " << rest.size() << " bytes after seeking back";
        }
        // Before the last reported position the stream does not go.
        const auto size = static_cast<int32_t>(c.size);
        EXPECT_EQ(StreamSeek(stream, 0, 1), size);
        EXPECT_EQ(StreamSeek(stream, mark - 1, 0), -1);
        EXPECT_EQ(StreamSeek(stream, size - 1, 0), -1);
        // Without a size the end is known only once it was reached.
        EXPECT_EQ(StreamSeek(stream, 0, 2), size);
        StreamClose(stream);
    }
}

TEST(StreamTest, RoutineStreamSeeksForwardLazily) {
    const std::vector<uint8_t> content = Pattern(200000);
    StreamMaker maker{"routine", content};
    StreamHandle stream = maker.Open();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(StreamSeek(stream, 0, 2), 200000);
    EXPECT_EQ(maker.routine.reads, 0) << "seeking to the end must not read the input";
    EXPECT_EQ(StreamSeek(stream, 150000, 0), 150000);
    uint8_t buffer[8];
    ASSERT_EQ(StreamRead(stream, buffer, 8), 8);
    EXPECT_EQ(std::memcmp(buffer, content.data() + 150000, 8), 0);
    StreamClose(stream);
}

TEST(StreamTest, RoutineSizeIsALowerBound) {
    const std::vector<uint8_t> content = Pattern(100);
    struct Case {
        const char* name;
        bool knowsSize;
        int32_t claimed;  // what the size query answers (when knowsSize)
    };
    const Case cases[] = {{"says 10, has 100", true, 10}, {"says nothing", false, 0}};
    for (const Case& c : cases) {
        RoutineSource routine;
        routine.bytes.resize(static_cast<std::size_t>(c.claimed));  // what the size query tells
        routine.knowsSize = c.knowsSize;
        StreamSource source = routine.Source();
        StreamHandle stream = StreamOpen(nullptr, &source, 0);
        ASSERT_NE(stream, nullptr);
        routine.bytes = content;
        uint8_t buffer[60];
        ASSERT_EQ(StreamRead(stream, buffer, 50), 50) << c.name;
        ASSERT_EQ(StreamSeek(stream, 0, 1), 50) << c.name;
        EXPECT_EQ(ReadAll(stream, {7}).size(), 50u) << c.name << ": everything the routine delivers is read";
        EXPECT_EQ(StreamSeek(stream, 0, 2), 100) << c.name << ": the end, once it was reached";
        EXPECT_EQ(StreamSeek(stream, 50, 0), 50) << c.name;
        ASSERT_EQ(StreamRead(stream, buffer, 60), 50) << c.name;
        EXPECT_EQ(std::memcmp(buffer, content.data() + 50, 50), 0) << c.name;
        StreamClose(stream);
    }
}

TEST(StreamTest, ReadRoutineProtocol) {
    const std::vector<uint8_t> content = Pattern(5000);
    struct Case {
        const char* name;
        int32_t failAfterCalls;
        bool overDeliver;
        std::size_t wantBytes;
    };
    const Case cases[] = {
        {"delivers everything", -1, false, 5000},
        {"fails on the first read", 0, false, 0},
        {"fails after two reads of 7", 2, false, 14},
        {"delivers more than asked", -1, true, 0},
    };
    for (const Case& c : cases) {
        RoutineSource routine;
        routine.bytes = content;
        routine.failAfterCalls = c.failAfterCalls;
        routine.overDeliver = c.overDeliver;
        StreamSource source = routine.Source();
        StreamHandle stream = StreamOpen(nullptr, &source, 0);
        ASSERT_NE(stream, nullptr) << c.name;
        EXPECT_TRUE(routine.sizeQueryCameFirst) << c.name;
        const std::vector<uint8_t> got = ReadAll(stream, {1});
        EXPECT_EQ(got.size(), c.wantBytes) << c.name;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), content.begin())) << c.name;
        EXPECT_EQ(routine.sizeQueries, 1) << c.name << ": the size is asked once, at open";
        const int readsAfter = routine.reads;
        uint8_t byte;
        EXPECT_EQ(StreamRead(stream, &byte, 1), 0) << c.name;
        StreamClose(stream);
        EXPECT_EQ(routine.reads, readsAfter) << c.name << ": routine asked again after it said end or failed";
    }
}

TEST(StreamTest, EmptyAndMissingInputs) {
    StreamSource empty{};
    StreamHandle stream = StreamOpen(nullptr, &empty, 0);
    ASSERT_NE(stream, nullptr) << "a memory block of 0 bytes is an empty stream";
    uint8_t byte;
    EXPECT_EQ(StreamRead(stream, &byte, 1), 0);
    EXPECT_EQ(StreamSeek(stream, 0, 1), 0);
    EXPECT_EQ(StreamSeek(stream, 0, 2), 0);
    StreamClose(stream);

    StreamSource noBlock{};
    noBlock.memorySize = 10;
    EXPECT_EQ(StreamOpen(nullptr, &noBlock, 0), nullptr) << "10 bytes of memory at no address";
    EXPECT_EQ(StreamOpen("/no/such/file.xpm", nullptr, 0), nullptr);
    EXPECT_EQ(StreamOpen("/tmp", nullptr, 0), nullptr) << "a directory";
    EXPECT_EQ(StreamOpen(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(StreamOpen("", nullptr, 0), nullptr);

    TempFile file({});
    stream = StreamOpen(file.path(), nullptr, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(StreamRead(stream, &byte, 1), 0);
    EXPECT_EQ(StreamSeek(stream, 0, 2), 0);
    StreamClose(stream);
}

TEST(StreamTest, PipeReadsLikeARoutineWithoutSize) {
    const std::vector<uint8_t> content = Pattern(100000);
    char dir[] = "/tmp/vrgdi32_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/in";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        FILE* out = std::fopen(fifo.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), out);
        std::fclose(out);
        _exit(0);
    }
    StreamHandle stream = StreamOpen(fifo.c_str(), nullptr, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(StreamSeek(stream, 0, 2), -1) << "a pipe has no known length";
    EXPECT_TRUE(ReadAll(stream, {333}) == content);
    EXPECT_EQ(StreamSeek(stream, 0, 2), 100000) << "read to its end, a pipe knows its length";
    StreamClose(stream);
    int status = 0;
    waitpid(child, &status, 0);
    unlink(fifo.c_str());
    rmdir(dir);
}

TEST(StreamTest, StaleAndInventedHandlesAreRefused) {
    const std::vector<uint8_t> content = Pattern(100);
    StreamMaker maker{"memory", content};
    StreamHandle stream = maker.Open();
    ASSERT_NE(stream, nullptr);
    StreamClose(stream);
    uint8_t byte;
    const StreamHandle invented = reinterpret_cast<StreamHandle>(uintptr_t{0x12345678});
    for (StreamHandle handle : {stream, invented, static_cast<StreamHandle>(nullptr)}) {
        EXPECT_EQ(StreamRead(handle, &byte, 1), 0);
        EXPECT_EQ(StreamSeek(handle, 0, 1), -1);
        StreamClose(handle);
    }
    // A new stream does not answer to the old handle.
    StreamHandle again = maker.Open();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, stream);
    EXPECT_EQ(StreamRead(stream, &byte, 1), 0);
    EXPECT_EQ(StreamRead(again, nullptr, 1), 0) << "no buffer";
    EXPECT_EQ(StreamRead(again, &byte, 0), 0);
    EXPECT_EQ(StreamRead(again, &byte, -5), 0);
    EXPECT_EQ(StreamSeek(again, 0, 1), 0) << "refused reads consume nothing";
    StreamClose(again);
}

TEST(StreamTest, NoMemoryForTheBufferMeansNoStream) {
    const std::vector<uint8_t> content = Pattern(100);
    for (const char* kind : {"file", "routine"}) {
        StreamMaker maker{kind, content};
        WinshimFailAllocationAfter(0);
        StreamHandle stream = maker.Open();
        WinshimFailAllocationAfter(-1);
        EXPECT_EQ(stream, nullptr) << kind;
        StreamClose(stream);
    }
}

}  // namespace
