// The filter over a graphics library that keeps only the stream promises the filter may rely
// on: reads of any size, a position query, a seek to the end and a return to the position last
// queried. Any other seek is refused and noted, and every read is logged: bytes are asked for
// one at a time except a pixel code (or a row's codes) in one block, never past the last byte
// the import consumes, and a host's read routine is never asked for more.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "output/vrgdi32_binding.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

struct Log {
    std::string refused;  // the seeks refused, "offset/origin "
    int64_t position = 0, queried = -1;
    int64_t furthest = 0;    // the end of the furthest byte asked for
    int64_t blockBytes = 0;  // bytes asked for by reads of more than one byte
    int32_t seeks = 0;
};
Log g_log;

xpmfilter::GraphicsLibrary ContractLibrary() {
    xpmfilter::GraphicsLibrary table = xpmfilter::Vrgdi32Library();
    table.StreamOpen = [](const char* path, const StreamSource* source, int32_t reserved) {
        g_log = Log{};
        return ::StreamOpen(path, source, reserved);
    };
    table.StreamRead = [](StreamHandle stream, void* buffer, int32_t count) {
        g_log.furthest = std::max(g_log.furthest, g_log.position + count);
        if (count > 1) g_log.blockBytes += count;
        const int32_t got = ::StreamRead(stream, buffer, count);
        g_log.position += got > 0 ? got : 0;
        return got;
    };
    table.StreamSeek = [](StreamHandle stream, int32_t offset, int32_t origin) {
        ++g_log.seeks;
        const bool promised = (offset == 0 && (origin == 1 || origin == 2)) ||
                              (origin == 0 && offset == g_log.queried);
        if (!promised) {
            g_log.refused += std::to_string(offset) + "/" + std::to_string(origin) + " ";
            return -1;
        }
        const int32_t at = ::StreamSeek(stream, offset, origin);
        if (origin == 1) g_log.queried = at;
        if (at >= 0) g_log.position = at;
        return at;
    };
    return table;
}

// A host routine that delivers one byte a call and notes how far it was asked to read.
struct OneByteSource {
    std::string text;
    bool sized = true;
    size_t offset = 0, askedUpTo = 0;
    static int32_t Read(uint64_t self, void* buffer, int32_t count) {
        auto& s = *reinterpret_cast<OneByteSource*>(self);
        if (buffer == nullptr) return s.sized ? static_cast<int32_t>(s.text.size()) : -1;
        s.askedUpTo = std::max(s.askedUpTo, s.offset + static_cast<size_t>(count));
        if (s.offset == s.text.size()) return 0;
        static_cast<char*>(buffer)[0] = s.text[s.offset++];
        return 1;
    }
};

std::string Sample(const char* name) {
    std::ifstream in(std::string(std::getenv("XPMFILTER_SOURCE_DIR")) + "/samples/" + name,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StreamContract, TheFilterAsksOnlyWhatTheRulesConsume) {
    enum Via { kFile, kMemory, kSizedRoutine, kUnsizedRoutine, kInfoFile, kInfoRoutine };
    struct Case {
        const char* name;
        std::string picture;
        int32_t height;
        int64_t codeBytes;  // pixel codes of more than one byte, each read as a block
        std::string after;  // what follows the picture: never read
    };
    const std::string other = "\"" + std::string(4094, 'z') + "\"";
    const Case cases[] = {
        {"smiley", Sample("smiley.xpm"), 32, 32 * 32, ""},
        {"landscape, then other data", Sample("landscape.xpm"), 48, 13 * 2 + 48 * 64 * 2, other},
    };
    const char* const vias[] = {"file",          "memory",
                                "sized routine", "unsized routine",
                                "GetFileInfo",   "GetFileInfo through a routine"};
    const xpmfilter::GraphicsLibrary table = ContractLibrary();
    xpmfilter::BindGraphicsLibrary(&table);
    for (const Case& c : cases) {
        const std::string text = c.picture + c.after;
        const size_t values = text.find('"'), valuesEnd = text.find('"', values + 1) + 1;
        const size_t picturesEnd = c.picture.rfind('"') + 1;  // the last row's closing quote
        char path[] = "/tmp/contract-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
        close(fd);
        for (int via = kFile; via <= kInfoRoutine; ++via) {
            const std::string what = std::string(c.name) + " from " + vias[via];
            OneByteSource routine{text, via != kUnsizedRoutine};
            const auto user = reinterpret_cast<uint64_t>(&routine);
            const bool info = via >= kInfoFile,
                       throughRoutine = via >= kSizedRoutine && via != kInfoFile;
            int64_t result = 0;
            if (info) {
                FileInfoRecord record{.size = sizeof record};
                result =
                    GetFileInfo(via == kInfoFile ? path : "", &record, via == kInfoFile ? 0 : user,
                                via == kInfoFile ? nullptr : &OneByteSource::Read);
            } else {
                SourceSpec source{};
                if (via == kFile) std::strcpy(source.path, path);
                source.memory = GlobalAlloc(GHND, text.size());
                std::memcpy(GlobalLock(source.memory), text.data(), text.size());
                GlobalUnlock(source.memory);
                PictureResult picture{};
                result = ImportCB(nullptr, &source, &picture, nullptr, user,
                                  throughRoutine ? &OneByteSource::Read : nullptr);
                EXPECT_NE(picture.picture, nullptr) << what;
                if (picture.picture != nullptr) DeleteEnhMetaFile(picture.picture);
                GlobalFree(source.memory);
            }
            const size_t consumed = info ? valuesEnd : picturesEnd;
            EXPECT_EQ(result, 0) << what;
            EXPECT_EQ(g_log.refused, "") << what << ": seeks that were not promised";
            EXPECT_EQ(g_log.seeks, info ? 0 : 5 + c.height)
                << what << ": the length, the colour-key scan's return, a query a row";
            EXPECT_LE(g_log.furthest, int64_t(consumed)) << what << ": asked past the text";
            EXPECT_EQ(g_log.blockBytes, info ? 0 : c.codeBytes) << what << ": bytes in blocks";
            const std::vector<size_t> hostRead{routine.offset, routine.askedUpTo};
            EXPECT_EQ(hostRead, std::vector<size_t>(2, throughRoutine ? consumed : 0))
                << what << ": what the host's routine delivered, and was asked for";
        }
        unlink(path);
    }
    xpmfilter::BindGraphicsLibrary(&xpmfilter::Vrgdi32Library());
}

}  // namespace
}  // namespace xpmtest
