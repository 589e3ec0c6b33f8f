// An ImportFile request as a host that builds its own fills it before it adds a setup and an
// option set: empty names, and a sink that reports through the library's default status
// routine. The request points into the record, so the record stays where it was made.
#pragma once

#include <cstdint>

#include "xpmfilter/xpmfilter.h"

struct HostRequest {
    char empty[1] = "";
    StatusSink sink{};
    ImportRequest request{};

    HostRequest() {
        sink.statusProc = reinterpret_cast<uint64_t>(&DefaultStatusProc);
        request.names[0] = request.names[1] = request.names[2] = empty;
        request.statusSink = &sink;
    }
    HostRequest(const HostRequest&) = delete;
    HostRequest& operator=(const HostRequest&) = delete;
};
