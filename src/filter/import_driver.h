// The import driver: one whole import for a setup record, from opening the input to the
// closed output, with every resource given back in reverse order of taking.
#pragma once

#include <cstdint>

#include "filter/setup_record.h"

namespace xpmfilter {

// Runs one import on a locked record whose per-import fields ImportFile has just set.
// Opens the input (read routine, else memory block when sourcePath is empty, else the file),
// checks the header, creates the writer (kept in setup.writer), opens the output, reads the
// values line, begins "PICTURE 1", decodes, ends the picture, finishes and closes the output,
// destroys the writer, closes the stream and unlocks the input memory.
// Returns 0 for a finished picture, else the first failure's code: 7 (no stream, reported),
// -23 (not XPM, or chars per pixel outside 0..39; reported), 27 (no writer, reported), the
// output lifecycle's code (reported there), the decoder's code (reported again here, 61
// included), 61 from the last progress check (not reported), or a finish/close code after
// an otherwise clean run. Sets inputSize, and progressPercent to 100 after a clean decode.
[[nodiscard]] int32_t DriveImport(SetupRecord& setup);

}  // namespace xpmfilter
