// A recording wrapper over the graphics library, bound as the filter's import table while it
// lives. Every call is logged with its arguments. Streams, option sets, the import job and the
// path helpers are the library's own, except that every stream reads `input`. Writer calls
// are logged and answered from the script only: a real writer would leave a real picture in
// every sink and add its own errors to every test that skips a step on purpose.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "output/graphics_library.h"

namespace xpmtest {

struct Call {
    std::string op;                  // operation name, e.g. "BitmapWriteBand"
    std::vector<int64_t> args;       // numbers, pointers and record fields, in order
    std::vector<std::string> texts;  // text arguments in order, "<null>" for null
    std::vector<uint8_t> data;  // copied bytes: band rows, palette, options block, status block
};

class RecordingLibrary {
  public:
    RecordingLibrary();
    ~RecordingLibrary();

    // ---- The script -------------------------------------------------------------------------
    std::string input;  // what every stream reads, as it stands at StreamOpen
    bool failStreamOpen = false, failWriterCreate = false, failOptionSetCreate = false;  // null
    // The writer error pending at WriterGetError, given the last writer operation; {0, 0}: none.
    std::function<std::pair<int16_t, int16_t>(const std::string& lastWriterOp)> writerError;
    std::function<int16_t()> outputOpenResult, outputCloseResult;  // default 0
    std::function<int16_t()> jobEndResult;                         // default: the job's own outcome
    std::function<void(StatusSink&)> fillSink;  // at OutputClose, on the sink OutputOpen got
    // Answer to each status call (the procedure is also DefaultStatusProc); default: the job's.
    std::function<int32_t(uint32_t kind, uint32_t code, uint32_t first, uint32_t second)>
        statusAnswer;
    uint16_t query4Answer = 0;  // what OptionSetEscape code 4 reads

    // ---- The record -------------------------------------------------------------------------
    std::vector<Call> calls;
    [[nodiscard]] std::vector<const Call*> Find(const std::string& op) const;
    [[nodiscard]] size_t Count(const std::string& op) const { return Find(op).size(); }
    [[nodiscard]] const xpmfilter::GraphicsLibrary& Table() const;
    static int32_t StatusProc(uint64_t userData, uint32_t kind, uint32_t code, uint32_t first,
                              uint32_t second, uint32_t severityClass, const uint64_t* block);

    // Kept for the table's functions: what each open stream reads, and the last writer step.
    struct Held {
        explicit Held(std::string t)
            : text(std::move(t)), source{uintptr_t(&at), uint32_t(text.size())} {}
        std::string text;
        const char* at = text.data();
        StreamSource source;
    };
    std::map<StreamHandle, std::unique_ptr<Held>> streams;
    std::string lastWriterOp;
    StatusSink* sinkAtOpen = nullptr;
};

// The operations of `calls` in order, separated by spaces.
[[nodiscard]] std::string JoinOps(const std::vector<Call>& calls);

}  // namespace xpmtest
