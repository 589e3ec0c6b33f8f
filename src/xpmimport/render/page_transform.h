// The mapping from a metafile's logical coordinates to device pixels: world transform, map
// mode, window and viewport, as the metafile's records set them.
#pragma once

#include <cstdint>

namespace xpmimport {

inline constexpr uint32_t kMapModeText = 1;
inline constexpr uint32_t kMapModeIsotropic = 7;
inline constexpr uint32_t kMapModeAnisotropic = 8;

// An affine transform in the row-vector form metafiles use:
// x' = x * m11 + y * m21 + dx;  y' = x * m12 + y * m22 + dy.
struct Xform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
};

// The transform that applies `first`, then `then`.
[[nodiscard]] constexpr Xform Compose(const Xform& first, const Xform& then) {
    return {first.m11 * then.m11 + first.m12 * then.m21,
            first.m11 * then.m12 + first.m12 * then.m22,
            first.m21 * then.m11 + first.m22 * then.m21,
            first.m21 * then.m12 + first.m22 * then.m22,
            first.dx * then.m11 + first.dy * then.m21 + then.dx,
            first.dx * then.m12 + first.dy * then.m22 + then.dy};
}

struct DevicePoint {
    double x = 0;
    double y = 0;
};

struct PageTransform {
    uint32_t mapMode = kMapModeText;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    bool windowExtSet = false;
    bool viewportExtSet = false;
    Xform world;

    // A known map mode and, when it scales, non-zero extents.
    [[nodiscard]] bool usable() const {
        if (mapMode == kMapModeText) return true;
        if (mapMode != kMapModeIsotropic && mapMode != kMapModeAnisotropic) return false;
        return windowExtX != 0 && windowExtY != 0;
    }

    // Device coordinates of a logical point. Call only when usable().
    [[nodiscard]] DevicePoint toDevice(double x, double y) const {
        double wx = x * world.m11 + y * world.m21 + world.dx;
        double wy = x * world.m12 + y * world.m22 + world.dy;
        if (mapMode == kMapModeText)
            return {wx - windowOrgX + viewportOrgX, wy - windowOrgY + viewportOrgY};
        // A metafile that sets a window but no viewport is shown the way players show it:
        // the window fills an output rectangle of its own size, right way up.
        double extX = viewportExtSet ? viewportExtX : (windowExtX < 0 ? -windowExtX : windowExtX);
        double extY = viewportExtSet ? viewportExtY : (windowExtY < 0 ? -windowExtY : windowExtY);
        return {(wx - windowOrgX) * extX / windowExtX + viewportOrgX,
                (wy - windowOrgY) * extY / windowExtY + viewportOrgY};
    }
};

}  // namespace xpmimport
