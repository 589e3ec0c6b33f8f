// The canvas size check and mapping a bitmap record onto the canvas.
#include "xpmimport/render/metafile_canvas.h"

#include <cmath>

namespace xpmimport {

bool CanvasSizeAllowed(int64_t width, int64_t height, std::string* error) {
    if (width < 0 || height < 0 ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxCanvasPixels) {
        *error = "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels cannot be rendered";
        return false;
    }
    return true;
}

bool PlaceBitmapDraw(const BitmapDraw& draw, const PageTransform& transform, double originX,
                     double originY, DibPlacement* placement, std::string* error) {
    if (draw.rasterOp != kRopSrcCopy) {
        *error =
            "bitmap drawn with raster operation " + std::to_string(draw.rasterOp) + ", not SRCCOPY";
        return false;
    }
    if (!transform.usable()) {
        *error = "map mode " + std::to_string(transform.mapMode) +
                 " (or a zero window extent) not handled";
        return false;
    }
    DevicePoint from = transform.toDevice(draw.destX, draw.destY);
    DevicePoint to = transform.toDevice(static_cast<double>(draw.destX) + draw.destWidth,
                                        static_cast<double>(draw.destY) + draw.destHeight);
    const double limit = 1 << 30;
    double corners[4] = {from.x - originX, from.y - originY, to.x - originX, to.y - originY};
    for (double& corner : corners) {
        if (!(std::fabs(corner) < limit)) {
            *error = "bitmap placed far outside the picture";
            return false;
        }
        corner = std::round(corner);
    }
    placement->srcX = draw.srcX, placement->srcY = draw.srcY;
    placement->srcWidth = draw.srcWidth, placement->srcHeight = draw.srcHeight;
    placement->destX0 = static_cast<int32_t>(corners[0]),
    placement->destY0 = static_cast<int32_t>(corners[1]);
    placement->destX1 = static_cast<int32_t>(corners[2]),
    placement->destY1 = static_cast<int32_t>(corners[3]);
    return true;
}

}  // namespace xpmimport
