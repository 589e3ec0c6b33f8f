// Drives a writer the way the filter does for one XPM image: frame, units, window, start
// of drawing, palette, bitmap in bands of at most 32768 pixels placed top-down in y-up
// coordinates, end, finish, close. Tests vary the image and where the run stops.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metafile_reader.h"
#include "vrgdi32/vrgdi32.h"

namespace vrgdi32_test {

struct TestImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Rgb> palette;
    std::vector<uint8_t> indices;  // width * height, row 0 first

    // Every pixel gets some index below `colours`, in a pattern that differs per row and
    // column so that misplaced or flipped rows show.
    static TestImage Make(int32_t width, int32_t height, int32_t colours);
    [[nodiscard]] Rgb ColourAt(int32_t x, int32_t y) const;
};

struct DriveOptions {
    std::string outputSpec;
    std::string outputName;
    uint64_t hostValue = 0;
    uint64_t job = 0;
    int32_t bandsBeforeStop = -1;  // >= 0: stop like a failed decode after that many bands
    bool abortAfterBands = false;  // call WriterAbort where the decode stopped
};

struct DriveResult {
    int16_t openResult = 0;
    int16_t closeResult = 0;
    bool errorAfterFinish = false;
    int16_t errorCode = 0;
    int16_t errorDetail = 0;
    StatusSink sink{};
    int32_t bandsWritten = 0;
};

// The filter's band arithmetic: rows per band and the rows of each band, in order.
[[nodiscard]] std::vector<int32_t> BandRows(int32_t width, int32_t height);

[[nodiscard]] DriveResult DriveLikeFilter(WriterHandle writer, const TestImage& image,
                                          const DriveOptions& options);
// The same with a writer of its own, created before and destroyed after.
[[nodiscard]] DriveResult DriveNewWriter(const TestImage& image, const DriveOptions& options = {});

// The bytes behind a metafile handle (EMF or WMF, by its object type).
[[nodiscard]] std::vector<uint8_t> MetafileBytes(uint64_t handle);
// Deletes the metafile by its kind; false if the handle is not a live metafile.
bool DeleteMetafile(uint64_t handle);
// The bytes of the metafile, which is then deleted; empty (and a test failure) for no metafile.
[[nodiscard]] std::vector<uint8_t> TakeMetafileBytes(uint64_t handle);

}  // namespace vrgdi32_test
