// What the decoder tests share: a locked setup record wired to the fake's status procedure,
// a stream over the fake's input, and a way to make the stream deliver short reads.
#pragma once

#include <cstdint>
#include <string>

#include "common/setup_record.h"
#include "output/graphics_library.h"
#include "recording_library.h"
#include "winshim/winshim.h"

namespace xpmtest {

inline constexpr uintptr_t kTestWriter = 0x5100;

// A zero-filled setup record in movable global memory, locked for the test's length, whose
// status sink calls RecordingLibrary::StatusProc.
class TestSetup {
  public:
    TestSetup() {
        handle_ = GlobalAlloc(GHND, sizeof(xpmfilter::SetupRecord));
        record_ = static_cast<xpmfilter::SetupRecord*>(GlobalLock(handle_));
        record_->magic = xpmfilter::kSetupMagic;
        record_->writer = reinterpret_cast<WriterHandle>(kTestWriter);
        sink_.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        record_->statusSink = &sink_;
    }
    ~TestSetup() {
        GlobalUnlock(handle_);
        GlobalFree(handle_);
    }
    TestSetup(const TestSetup&) = delete;
    TestSetup& operator=(const TestSetup&) = delete;

    xpmfilter::SetupRecord& operator*() const { return *record_; }
    xpmfilter::SetupRecord* operator->() const { return record_; }
    StatusSink& sink() { return sink_; }

  private:
    HGLOBAL handle_ = nullptr;
    xpmfilter::SetupRecord* record_ = nullptr;
    StatusSink sink_{};
};

// A stream over the fake's `input` as it stands when the stream is opened.
class TestStream {
  public:
    explicit TestStream(RecordingLibrary& fake)
        : fake_(fake), stream_(fake.Table().StreamOpen(nullptr, nullptr, 0)) {}
    ~TestStream() { fake_.Table().StreamClose(stream_); }
    TestStream(const TestStream&) = delete;
    TestStream& operator=(const TestStream&) = delete;

    operator StreamHandle() const { return stream_; }
    // Bytes left unread.
    [[nodiscard]] size_t Remaining() const {
        return fake_.streams.at(stream_)->text.size() - ::StreamSeek(stream_, 0, 1);
    }

  private:
    RecordingLibrary& fake_;
    StreamHandle stream_;
};

// While alive, every StreamRead delivers at most `chunk` bytes (still from the fake).
class ShortReads {
  public:
    ShortReads(RecordingLibrary& fake, int32_t chunk) : table_(fake.Table()) {
        chunk_ = chunk;
        inner_ = fake.Table().StreamRead;
        table_.StreamRead = &ShortRead;
        xpmfilter::BindGraphicsLibrary(&table_);
    }
    ~ShortReads() { xpmfilter::BindGraphicsLibrary(&RecordingLibrary::Current().Table()); }
    ShortReads(const ShortReads&) = delete;
    ShortReads& operator=(const ShortReads&) = delete;

  private:
    static int32_t ShortRead(StreamHandle stream, void* buffer, int32_t count) {
        return inner_(stream, buffer, count < chunk_ ? count : chunk_);
    }
    static inline int32_t chunk_ = 1;
    static inline decltype(&::StreamRead) inner_ = nullptr;
    xpmfilter::GraphicsLibrary table_;
};

}  // namespace xpmtest
