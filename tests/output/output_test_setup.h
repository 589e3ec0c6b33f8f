// A setup record with a status sink whose procedure is the recording fake's, for the tests
// of the output lifecycle and of status and progress.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/setup_record.h"
#include "recording_library.h"

namespace xpmtest {

inline constexpr uint64_t kTestUserData = 0xABCD1234u;

struct OutputTestSetup {
    std::unique_ptr<xpmfilter::SetupRecord> setup = std::make_unique<xpmfilter::SetupRecord>();
    StatusSink sink{};

    OutputTestSetup() {
        sink.userData = kTestUserData;
        sink.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        setup->statusSink = &sink;
        setup->writer = reinterpret_cast<WriterHandle>(0x5100);
        setup->progressRange = 100;
    }
    xpmfilter::SetupRecord& operator*() { return *setup; }
};

// The status calls logged so far, as (kind, code, first, second, class).
struct StatusCall {
    uint32_t kind, code, first, second, severityClass;
    bool hasBlock;
};

inline std::vector<StatusCall> StatusCalls(const RecordingLibrary& fake) {
    std::vector<StatusCall> out;
    for (const Call* call : fake.Find("Status")) {
        out.push_back({static_cast<uint32_t>(call->args[1]), static_cast<uint32_t>(call->args[2]),
                       static_cast<uint32_t>(call->args[3]), static_cast<uint32_t>(call->args[4]),
                       static_cast<uint32_t>(call->args[5]), call->args[6] != 0});
    }
    return out;
}

// The codes of the kind-3 reports logged so far, in order.
inline std::vector<int32_t> ReportedCodes(const RecordingLibrary& fake) {
    std::vector<int32_t> codes;
    for (const StatusCall& call : StatusCalls(fake))
        if (call.kind == 3) codes.push_back(static_cast<int32_t>(call.code));
    return codes;
}

}  // namespace xpmtest
