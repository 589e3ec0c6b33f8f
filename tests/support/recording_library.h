// A recording fake of the graphics library. While one is alive it is bound as the filter's
// import table: every call is logged with its arguments, and answers come from what the
// test scripts. Streams read the test's `input` text from memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/graphics_library.h"

namespace xpmtest {

struct Call {
    std::string op;             // operation name, e.g. "BitmapWriteBand"
    std::vector<int64_t> args;  // numeric arguments and record fields, in order
    std::vector<std::string> texts;  // text arguments, in order
    std::vector<uint8_t> data;  // copied bytes: band rows, palette entries, options blocks
};

class RecordingLibrary {
  public:
    RecordingLibrary();
    ~RecordingLibrary();
    RecordingLibrary(const RecordingLibrary&) = delete;
    RecordingLibrary& operator=(const RecordingLibrary&) = delete;

    // The bound fake, for its static trampolines.
    static RecordingLibrary& Current();

    // ---- What the test scripts ------------------------------------------------------------
    std::string input;            // what every stream opened through the fake reads
    bool failStreamOpen = false;  // StreamOpen answers null
    bool seekable = true;         // StreamSeek answers -1 when false
    bool recordStreamReads = false;  // log StreamRead and StreamSeek calls too
    bool failWriterCreate = false;
    bool failOptionSetCreate = false;

    // Pending writer error after the named writer operation, as (code, detail); {0, 0} for
    // none. Asked at each WriterGetError with the name of the last writer operation.
    std::function<std::pair<int16_t, int16_t>(const std::string& lastWriterOp)> writerError;
    std::function<int16_t()> outputOpenResult;   // default 0
    std::function<int16_t()> outputCloseResult;  // default 0
    // Called at OutputClose with the sink OutputOpen received, to leave a picture there.
    std::function<void(StatusSink&)> fillSink;

    // Answer of the status procedure (also bound as DefaultStatusProc) to each call.
    std::function<int32_t(uint32_t kind, uint32_t code, uint32_t first, uint32_t second)>
        statusAnswer;

    // Option sets: query 4's 16-bit answer, and an override of OptionSetEscape's result
    // per code (return true to use `result`, false for the default behaviour).
    uint16_t query4Answer = 0;
    std::function<bool(uint32_t code, int32_t& result)> escapeOverride;

    // ImportJobEnd's answer; default: the first kind-3 code the job's status calls carried,
    // else 61 when it answered a stop notice with stop, else 0.
    std::function<int16_t()> jobEndResult;

    // ---- What the test reads ----------------------------------------------------------------
    std::vector<Call> calls;
    [[nodiscard]] std::vector<std::string> Ops() const;  // op names in order
    [[nodiscard]] std::vector<const Call*> Find(const std::string& op) const;
    [[nodiscard]] size_t Count(const std::string& op) const;
    [[nodiscard]] size_t OpenStreams() const { return openStreams_; }
    [[nodiscard]] size_t LiveWriters() const { return liveWriters_; }
    [[nodiscard]] size_t OpenJobs() const { return openJobs_; }
    StatusSink* sinkAtOpen = nullptr;  // what OutputOpen received

    // The table, to call the fake's operations directly.
    [[nodiscard]] const xpmfilter::GraphicsLibrary& Table() const;

    // Status procedure that logs "Status" calls and answers with statusAnswer.
    static int32_t StatusProc(uint64_t userData, uint32_t kind, uint32_t code, uint32_t first,
                              uint32_t second, uint32_t severityClass, const uint64_t* block);

    // ---- Internal state used by the trampolines -----------------------------------------
    struct Stream {
        std::string data;
        size_t position = 0;
    };
    std::string lastWriterOp;
    size_t openStreams_ = 0;
    size_t liveWriters_ = 0;
    size_t openJobs_ = 0;
    int32_t firstReportedCode = 0;
    bool answeredStop = false;
    uint64_t nextJob = 0x7000;
};

// Strips each call of everything but its op name, for compact sequence assertions.
[[nodiscard]] std::string JoinOps(const std::vector<std::string>& ops);

}  // namespace xpmtest
