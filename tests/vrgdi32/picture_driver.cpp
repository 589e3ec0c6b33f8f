// The filter-shaped writer driver for tests (see picture_driver.h).
#include "picture_driver.h"

namespace vrgdi32_test {
namespace {

CoordSlot Slot(int32_t value) {
    CoordSlot slot{};
    slot.value = static_cast<int16_t>(value);  // low 16 bits, as the filter passes them
    return slot;
}

BandPlacement Placement(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    BandPlacement p{};
    p.p1x = Slot(x1);
    p.p1y = Slot(y1);
    p.p2x = Slot(x2);
    p.p2y = Slot(y2);
    p.p3x = Slot(x2);
    p.p3y = Slot(y1);
    return p;
}

BitmapSize Size(int32_t width, int32_t rows) {
    BitmapSize size{};
    size.width = static_cast<int16_t>(width);
    size.rows = static_cast<int16_t>(rows);
    return size;
}

}  // namespace

TestImage TestImage::Make(int32_t width, int32_t height, int32_t colours) {
    TestImage image;
    image.width = width;
    image.height = height;
    for (int32_t i = 0; i < colours; ++i) {
        image.palette.push_back(Rgb{static_cast<uint8_t>(i * 37 + 1), static_cast<uint8_t>(i * 91 + 2),
                                    static_cast<uint8_t>(i * 53 + 3)});
    }
    image.indices.resize(static_cast<std::size_t>(width) * height);
    const int32_t usable = colours < 256 ? colours : 256;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            image.indices[static_cast<std::size_t>(y) * width + x] =
                static_cast<uint8_t>((x * 7 + y * 13 + (x ^ y)) % (usable == 0 ? 1 : usable));
        }
    }
    return image;
}

Rgb TestImage::ColourAt(int32_t x, int32_t y) const {
    const uint8_t index = indices[static_cast<std::size_t>(y) * width + x];
    return index < palette.size() ? palette[index] : Rgb{};
}

std::vector<int32_t> BandRows(int32_t width, int32_t height) {
    std::vector<int32_t> rows;
    int32_t perBand = 32768 / width;
    const int32_t full = height / perBand;
    const int32_t last = height % perBand;
    for (int32_t b = 0; b < full; ++b) rows.push_back(perBand);
    if (last != 0) rows.push_back(last);
    return rows;
}

DriveResult DriveLikeFilter(WriterHandle writer, const TestImage& image, const DriveOptions& options) {
    DriveResult result;
    result.sink.userData = options.job;
    result.sink.hostValue = options.hostValue;
    WriterSetNames(writer, "", "", "");
    result.openResult = OutputOpen(writer, options.outputSpec.c_str(), options.outputName.c_str(), 0,
                                   nullptr, &result.sink);
    if (result.openResult != 0) return result;
    OutputStart(writer, options.outputSpec.c_str());
    WriterSetOption(writer, 0);
    PictureBegin(writer, "PICTURE 1");

    FrameRect frame{};
    frame.x1 = Slot(0);
    frame.y1 = Slot(0);
    frame.x2 = Slot(image.width);
    frame.y2 = Slot(image.height);
    SetFrame(writer, &frame);
    SetUnits(writer, 1, 0.2645833333333333);
    FrameRect window = frame;
    SetWindow(writer, &window);
    PictureStartDrawing(writer);

    std::vector<PaletteEntry> entries;
    for (const Rgb& c : image.palette) entries.push_back(PaletteEntry{c.red, c.green, c.blue});
    SetPalette(writer, 0, static_cast<int16_t>(entries.size()), entries.data());

    BandPlacement whole = Placement(0, image.height, image.width, 0);
    BitmapSize size = Size(image.width, image.height);
    BitmapBegin(writer, &whole, &size, -8, 0, 1, 3, 0);

    const int32_t stride = (image.width + 3) / 4 * 4;
    const std::vector<int32_t> bands = BandRows(image.width, image.height);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(bands.empty() ? 0 : bands[0]) * stride + 1);
    int32_t top = image.height;
    int32_t row = 0;
    bool stopped = false;
    for (int32_t rows : bands) {
        if (options.bandsBeforeStop >= 0 && result.bandsWritten == options.bandsBeforeStop) {
            stopped = true;
            break;
        }
        for (int32_t r = 0; r < rows; ++r, ++row) {
            for (int32_t x = 0; x < image.width; ++x) {
                buffer[static_cast<std::size_t>(r) * stride + x] =
                    image.indices[static_cast<std::size_t>(row) * image.width + x];
            }
        }
        // 16-bit arithmetic, as the filter does it.
        const int16_t bottom = static_cast<int16_t>(static_cast<int16_t>(top) - rows);
        BandPlacement band = Placement(0, top, image.width, bottom);
        BitmapSize bandSize = Size(image.width, rows);
        BitmapWriteBand(writer, &band, &bandSize, -8, 1, buffer.data());
        top = bottom;
        ++result.bandsWritten;
    }
    if (stopped) {
        if (options.abortAfterBands) WriterAbort(writer);
    } else {
        BitmapEnd(writer);
    }
    PictureEnd(writer);
    OutputFinish(writer);
    uint32_t flag = 0;
    int16_t pair[2] = {0, 0};
    WriterGetError(writer, 1, &flag, pair);
    result.errorAfterFinish = flag != 0;
    result.errorCode = pair[0];
    result.errorDetail = pair[1];
    result.closeResult = OutputClose(writer);
    return result;
}

std::vector<uint8_t> MetafileBytes(uint64_t handle) {
    void* h = reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
    std::vector<uint8_t> bytes;
    if (GetObjectType(h) == OBJ_ENHMETAFILE) {
        bytes.resize(GetEnhMetaFileBits(h, 0, nullptr));
        GetEnhMetaFileBits(h, static_cast<UINT>(bytes.size()), bytes.data());
    } else if (GetObjectType(h) == OBJ_METAFILE) {
        bytes.resize(GetMetaFileBitsEx(h, 0, nullptr));
        GetMetaFileBitsEx(h, static_cast<UINT>(bytes.size()), bytes.data());
    }
    return bytes;
}

bool DeleteMetafile(uint64_t handle) {
    void* h = reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
    if (GetObjectType(h) == OBJ_ENHMETAFILE) return DeleteEnhMetaFile(h) != 0;
    if (GetObjectType(h) == OBJ_METAFILE) return DeleteMetaFile(h) != 0;
    return false;
}

}  // namespace vrgdi32_test
