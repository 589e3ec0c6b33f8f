// Metafiles played by GDI as hosts play them, and compared pixel for pixel with the XPM
// pattern (xpm_text.h) they were made from.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "winshim/winshim.h"
#include "xpm_text.h"

namespace windows_test {

// "" when the picture shows the pattern; else what is wrong, in words. The picture is played
// into a top-down 32-bit DIB section of its size, first filled with a colour no pattern uses,
// and then deleted. A Windows Metafile is played in MM_ANISOTROPIC with the viewport on the
// bitmap, and the window a file's placeable header gives (a handle sets its own).
inline std::string PlayBack(void* picture, bool windowsMetafile, const xpmtest::PatternShape& shape,
                            SIZE window = {}) {
    const xpmtest::XpmPattern pattern = xpmtest::MakePattern(shape);
    const int width = shape.width, height = shape.height;
    BITMAPINFO info{};
    info.bmiHeader = {.biSize = sizeof info.bmiHeader,
                      .biWidth = width,
                      .biHeight = -height,
                      .biPlanes = 1,
                      .biBitCount = 32,
                      .biCompression = BI_RGB};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr || bits == nullptr) return "no picture, or no bitmap to play it into";
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    auto* quads = static_cast<uint32_t*>(bits);  // 0x00RRGGBB
    std::fill(quads, quads + width * height, 0x01123456u);
    const RECT frame{0, 0, width, height};
    bool deleted = false;
    if (windowsMetafile) {
        ::SetMapMode(dc, MM_ANISOTROPIC);
        if (window.cx != 0) ::SetWindowExtEx(dc, window.cx, window.cy, nullptr);
        ::SetViewportExtEx(dc, width, height, nullptr);
        ::PlayMetaFile(dc, static_cast<HMETAFILE>(picture));
        deleted = ::DeleteMetaFile(static_cast<HMETAFILE>(picture));
    } else {
        ::PlayEnhMetaFile(dc, static_cast<HENHMETAFILE>(picture), &frame);
        deleted = ::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(picture));
    }
    ::GdiFlush();
    int wrong = 0;
    for (int i = 0; i < width * height; ++i)
        wrong += quads[i] != pattern.colors[pattern.indices[i]];
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    if (!deleted) return "the handle could not be deleted";
    return wrong == 0
               ? ""
               : std::to_string(wrong) + " of " + std::to_string(width * height) + " pixels wrong";
}

// A metafile file's bytes played back as above. A WMF file starts with its 22-byte placeable
// header: its key is checked, and its box is the window to play it with.
inline std::string FilePlaysBack(const std::string& file, bool windowsMetafile,
                                 const xpmtest::PatternShape& shape) {
    const auto* bytes = reinterpret_cast<const BYTE*>(file.data());
    const auto size = static_cast<UINT>(file.size());
    if (!windowsMetafile) return PlayBack(::SetEnhMetaFileBits(size, bytes), false, shape);
    uint32_t key = 0;
    int16_t corners[4] = {};  // left, top, right, bottom
    if (size < 22) return "shorter than a placeable header";
    std::memcpy(&key, bytes, sizeof key);
    std::memcpy(corners, bytes + 6, sizeof corners);
    if (key != 0x9AC6CDD7u) return "no placeable header";
    return PlayBack(::SetMetaFileBitsEx(size - 22, bytes + 22), true, shape,
                    {corners[2] - corners[0], corners[3] - corners[1]});
}

}  // namespace windows_test
