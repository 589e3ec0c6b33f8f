// What the decoder and the output steps need of one import, and what they leave in it: the
// picture writer, the status record the host is told through, the input's length and the
// progress. The import driver fills it from the setup record and copies back what it changed.
#pragma once

#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace xpmfilter {

struct ImportContext {
    WriterHandle writer = nullptr;
    StatusSink* statusSink = nullptr;  // null: nobody is told anything
    int32_t inputSize = 0;             // the stream's length, -1 when it cannot tell
    int32_t progressPercent = 0;       // of the input consumed, after every row
};

// Where the output goes, and the progress range announced before it opens.
struct OutputTarget {
    const char* outputSpec = "";
    const char* outputName = "";
    OptionSetHandle optionSet = nullptr;
    uint32_t progressBase = 0;
    uint32_t progressRange = 100;
};

}  // namespace xpmfilter
