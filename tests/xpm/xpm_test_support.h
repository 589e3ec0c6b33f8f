// What the decoder tests share: a stream over some text, read through the recording library
// (in chunks of at most `chunk` bytes when given), and a setup record whose status sink
// calls the recording library's status procedure.
#pragma once

#include <string>

#include "common/setup_record.h"
#include "recording_library.h"

namespace xpmtest {

struct Reading {
    explicit Reading(std::string input, int32_t chunk = 0) {
        fake.input = std::move(input);
        stream = fake.Table().StreamOpen(nullptr, nullptr, 0);
        chunk_ = chunk;
        table.StreamRead = [](StreamHandle s, void* buffer, int32_t count) {
            return ::StreamRead(s, buffer, chunk_ > 0 && count > chunk_ ? chunk_ : count);
        };
        xpmfilter::BindGraphicsLibrary(&table);
        sink.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        setup.statusSink = &sink;
        setup.writer = reinterpret_cast<WriterHandle>(uintptr_t{0x5100});
        fake.calls.clear();
    }
    [[nodiscard]] size_t Remaining() const { return fake.input.size() - ::StreamSeek(stream, 0, 1); }

    RecordingLibrary fake;
    xpmfilter::GraphicsLibrary table = fake.Table();  // bound; a test may change its entries
    StreamHandle stream = nullptr;
    StatusSink sink{};
    xpmfilter::SetupRecord setup{};
    static inline int32_t chunk_ = 0;
};

}  // namespace xpmtest
