// The painting targets behind the renderers: a whole canvas, an order check, and a strip
// of rows that goes out to a RowSink as the records move down the picture.
#include "xpmimport/render/metafile_render.h"

#include <algorithm>

#include "xpmimport/render/byte_reader.h"
#include "xpmimport/render/dib_paint.h"
#include "xpmimport/render/metafile_canvas.h"

namespace xpmimport {
namespace {

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;

class CanvasTarget final : public PictureTarget {
  public:
    RgbImage image;
    bool begin(int32_t width, int32_t height, std::string*) override {
        image.width = width, image.height = height;
        image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0xFF);
        return true;
    }
    bool paint(const BitmapDraw& draw, const DibPlacement& placement, std::string* error) override {
        return PaintDib(draw.info, draw.bits, placement, image, 0, error);
    }
};

// Whether every record that paints starts no higher than the one before it: then a row
// above the latest start is final. Stops the walk at the first record that breaks it.
class OrderCheck final : public PictureTarget {
  public:
    bool ordered = true;
    bool begin(int32_t width, int32_t height, std::string*) override {
        width_ = width, height_ = height;
        return true;
    }
    bool paint(const BitmapDraw&, const DibPlacement& placement, std::string* error) override {
        int32_t top = 0, bottom = 0;
        if (!PaintedRows(placement, width_, height_, &top, &bottom)) return true;
        if (top < latestTop_) {
            ordered = false;
            *error = "bitmap records out of order";
            return false;
        }
        latestTop_ = top;
        return true;
    }

  private:
    int32_t width_ = 0, height_ = 0, latestTop_ = 0;
};

// Holds canvas rows [top_, top_ + strip_.height); rows above top_ have gone to the sink,
// rows below the strip are still white.
class StripTarget final : public PictureTarget {
  public:
    explicit StripTarget(RowSink& sink) : sink_(sink) {}

    bool begin(int32_t width, int32_t height, std::string*) override {
        strip_.width = width, height_ = height;
        return true;
    }
    bool paint(const BitmapDraw& draw, const DibPlacement& placement, std::string* error) override {
        int32_t top = 0, bottom = 0;
        if (PaintedRows(placement, strip_.width, height_, &top, &bottom)) {
            if (top < top_) {
                *error = "bitmap records out of order";
                return false;
            }
            if (!sendRowsAbove(top, error)) return false;
            if (bottom > top_ + strip_.height) {
                strip_.height = bottom - top_;
                strip_.pixels.resize(
                    static_cast<size_t>(strip_.height) * static_cast<size_t>(strip_.width) * 3,
                    0xFF);
                peakRows_ = std::max(peakRows_, strip_.height);
            }
        }
        return PaintDib(draw.info, draw.bits, placement, strip_, top_, error);
    }
    // Sends the rest of the picture and closes the sink.
    [[nodiscard]] bool finish(std::string* error) {
        if (!sendRowsAbove(height_, error)) return false;
        if (!begun_ && !sink_.begin(strip_.width, height_, error)) return sinkFailure(error);
        return sink_.finish(error) || sinkFailure(error);
    }
    [[nodiscard]] bool sinkFailed() const { return sinkFailed_; }
    [[nodiscard]] const std::string& sinkError() const { return sinkError_; }
    [[nodiscard]] int32_t peakRows() const { return peakRows_; }

  private:
    [[nodiscard]] bool sendRowsAbove(int32_t row, std::string* error) {
        if (row <= top_) return true;
        if (!begun_) {
            begun_ = true;
            if (!sink_.begin(strip_.width, height_, error)) return sinkFailure(error);
        }
        const int32_t held = std::min(row - top_, strip_.height);
        for (int32_t y = 0; y < held; ++y) {
            if (!sink_.row(strip_.at(0, y), error)) return sinkFailure(error);
        }
        if (row - top_ > held && white_.empty())
            white_.assign(static_cast<size_t>(strip_.width) * 3, 0xFF);
        for (int32_t y = held; y < row - top_; ++y) {
            if (!sink_.row(white_.data(), error)) return sinkFailure(error);
        }
        strip_.pixels.erase(
            strip_.pixels.begin(),
            strip_.pixels.begin() + static_cast<std::ptrdiff_t>(held) * strip_.width * 3);
        strip_.height -= held;
        top_ = row;
        return true;
    }
    [[nodiscard]] bool sinkFailure(const std::string* error) {
        sinkFailed_ = true;
        sinkError_ = *error;
        return false;
    }

    RowSink& sink_;
    RgbImage strip_;
    int32_t height_ = 0;
    int32_t top_ = 0;
    int32_t peakRows_ = 0;
    bool begun_ = false;
    bool sinkFailed_ = false;
    std::string sinkError_;
    std::vector<uint8_t> white_;
};

[[nodiscard]] bool Walk(MetafileSource& source, MetafileKind kind, PictureTarget& target,
                        std::string* error) {
    if (kind == MetafileKind::kEnhanced) return WalkEnhancedMetafile(source, target, error);
    if (kind == MetafileKind::kWindows) return WalkWindowsMetafile(source, target, error);
    *error = "neither an enhanced nor a Windows metafile";
    return false;
}

[[nodiscard]] RenderOutcome RenderWhole(std::span<const uint8_t> bytes, MetafileKind kind) {
    MetafileSource source(bytes);
    CanvasTarget canvas;
    RenderOutcome outcome;
    outcome.ok = Walk(source, kind, canvas, &outcome.error);
    if (outcome.ok) outcome.image = std::move(canvas.image);
    return outcome;
}

}  // namespace

RenderOutcome RenderEnhancedMetafile(std::span<const uint8_t> bytes) {
    return RenderWhole(bytes, MetafileKind::kEnhanced);
}

RenderOutcome RenderWindowsMetafile(std::span<const uint8_t> bytes) {
    return RenderWhole(bytes, MetafileKind::kWindows);
}

MetafileKind MetafileKindOf(std::span<const uint8_t> firstBytes) {
    if (Holds(firstBytes, 0, 44) && U32At(firstBytes, 0) == 1 &&
        U32At(firstBytes, 40) == kEmfSignature) {
        return MetafileKind::kEnhanced;
    }
    if (!Holds(firstBytes, 0, 4)) return MetafileKind::kUnknown;
    const uint16_t kind = U16At(firstBytes, 0);
    if (U32At(firstBytes, 0) == kPlaceableKey ||
        ((kind == 1 || kind == 2) && U16At(firstBytes, 2) == 9)) {
        return MetafileKind::kWindows;
    }
    return MetafileKind::kUnknown;
}

RowsOutcome RenderMetafileRows(MetafileSource& source, MetafileKind kind, RowSink& sink) {
    RowsOutcome outcome;
    // The check walks the same records the painting does; a metafile it refuses for another
    // reason is refused again, with the same words, by the streamed pass.
    OrderCheck check;
    std::string ignored;
    (void)Walk(source, kind, check, &ignored);
    if (check.ordered) {
        StripTarget strip(sink);
        outcome.ok = Walk(source, kind, strip, &outcome.error) && strip.finish(&outcome.error);
        outcome.streamed = true;
        outcome.peakRows = strip.peakRows();
        outcome.sinkFailed = strip.sinkFailed();
        if (outcome.sinkFailed) outcome.error = strip.sinkError();
        return outcome;
    }
    CanvasTarget canvas;
    if (!Walk(source, kind, canvas, &outcome.error)) return outcome;
    outcome.peakRows = canvas.image.height;
    const RgbImage& image = canvas.image;
    bool sent = sink.begin(image.width, image.height, &outcome.error);
    for (int32_t y = 0; sent && y < image.height; ++y)
        sent = sink.row(image.at(0, y), &outcome.error);
    outcome.ok = sent && sink.finish(&outcome.error);
    outcome.sinkFailed = !outcome.ok;
    return outcome;
}

}  // namespace xpmimport
