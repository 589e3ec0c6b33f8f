// The filter-shaped writer driver for tests (see picture_driver.h).
#include "picture_driver.h"

#include <gtest/gtest.h>

namespace vrgdi32_test {
namespace {

// Slots hold the low 16 bits, as the filter passes them.
CoordSlot Slot(int32_t value) { return CoordSlot{static_cast<int16_t>(value), {}}; }

BandPlacement Placement(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    BandPlacement p{};
    p.p1x = Slot(x1);
    p.p1y = p.p3y = Slot(y1);
    p.p2x = p.p3x = Slot(x2);
    p.p2y = Slot(y2);
    return p;
}

BitmapSize Size(int32_t width, int32_t rows) {
    return BitmapSize{static_cast<int16_t>(width), {}, static_cast<int16_t>(rows), {}};
}

void* AsHandle(uint64_t handle) { return reinterpret_cast<void*>(static_cast<uintptr_t>(handle)); }

}  // namespace

TestImage TestImage::Make(int32_t width, int32_t height, int32_t colours) {
    TestImage image{width, height, {}, std::vector<uint8_t>(static_cast<std::size_t>(width) * height)};
    for (int32_t i = 0; i < colours; ++i) {
        image.palette.push_back(
            Rgb{static_cast<uint8_t>(i * 37 + 1), static_cast<uint8_t>(i * 91 + 2), static_cast<uint8_t>(i * 53 + 3)});
    }
    const int32_t usable = colours < 1 ? 1 : colours < 256 ? colours : 256;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            image.indices[static_cast<std::size_t>(y) * width + x] =
                static_cast<uint8_t>((x * 7 + y * 13 + (x ^ y)) % usable);
        }
    }
    return image;
}

Rgb TestImage::ColourAt(int32_t x, int32_t y) const {
    const uint8_t index = indices[static_cast<std::size_t>(y) * width + x];
    return index < palette.size() ? palette[index] : Rgb{};
}

std::vector<int32_t> BandRows(int32_t width, int32_t height) {
    const int32_t perBand = 32768 / width;
    std::vector<int32_t> rows(static_cast<std::size_t>(height / perBand), perBand);
    if (height % perBand != 0) rows.push_back(height % perBand);
    return rows;
}

DriveResult DriveLikeFilter(WriterHandle writer, const TestImage& image, const DriveOptions& options) {
    DriveResult result;
    result.sink.userData = options.job;
    result.sink.hostValue = options.hostValue;
    WriterSetNames(writer, "", "", "");
    result.openResult =
        OutputOpen(writer, options.outputSpec.c_str(), options.outputName.c_str(), 0, nullptr, &result.sink);
    if (result.openResult != 0) return result;
    OutputStart(writer, options.outputSpec.c_str());
    WriterSetOption(writer, 0);
    PictureBegin(writer, "PICTURE 1");
    FrameRect frame{Slot(0), Slot(0), Slot(image.width), Slot(image.height)};
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
    int32_t top = image.height, row = 0;
    const bool stops = options.bandsBeforeStop >= 0 && options.bandsBeforeStop < static_cast<int32_t>(bands.size());
    for (int32_t rows : bands) {
        if (stops && result.bandsWritten == options.bandsBeforeStop) break;
        for (int32_t r = 0; r < rows; ++r, ++row) {
            std::copy_n(image.indices.begin() + static_cast<std::ptrdiff_t>(row) * image.width, image.width,
                        buffer.begin() + static_cast<std::ptrdiff_t>(r) * stride);
        }
        const int16_t bottom = static_cast<int16_t>(static_cast<int16_t>(top) - rows);  // 16-bit, as the filter
        BandPlacement band = Placement(0, top, image.width, bottom);
        BitmapSize bandSize = Size(image.width, rows);
        BitmapWriteBand(writer, &band, &bandSize, -8, 1, buffer.data());
        top = bottom;
        ++result.bandsWritten;
    }
    if (!stops) BitmapEnd(writer);
    else if (options.abortAfterBands) WriterAbort(writer);
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

DriveResult DriveNewWriter(const TestImage& image, const DriveOptions& options) {
    WriterHandle writer = WriterCreate(0);
    const DriveResult result = DriveLikeFilter(writer, image, options);
    WriterDestroy(writer);
    return result;
}

std::vector<uint8_t> MetafileBytes(uint64_t handle) {
    std::vector<uint8_t> bytes;
    if (GetObjectType(AsHandle(handle)) == OBJ_ENHMETAFILE) {
        bytes.resize(GetEnhMetaFileBits(AsHandle(handle), 0, nullptr));
        GetEnhMetaFileBits(AsHandle(handle), static_cast<UINT>(bytes.size()), bytes.data());
    } else if (GetObjectType(AsHandle(handle)) == OBJ_METAFILE) {
        bytes.resize(GetMetaFileBitsEx(AsHandle(handle), 0, nullptr));
        GetMetaFileBitsEx(AsHandle(handle), static_cast<UINT>(bytes.size()), bytes.data());
    }
    return bytes;
}

std::vector<uint8_t> TakeMetafileBytes(uint64_t handle) {
    std::vector<uint8_t> bytes = MetafileBytes(handle);
    EXPECT_TRUE(DeleteMetafile(handle)) << "no live metafile behind " << handle;
    return bytes;
}

bool DeleteMetafile(uint64_t handle) {
    const DWORD type = GetObjectType(AsHandle(handle));
    if (type == OBJ_ENHMETAFILE) return DeleteEnhMetaFile(AsHandle(handle)) != 0;
    return type == OBJ_METAFILE && DeleteMetaFile(AsHandle(handle)) != 0;
}

}  // namespace vrgdi32_test
