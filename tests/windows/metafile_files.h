// Metafiles as files: a whole file's bytes, and the bits GDI takes from them (an EMF file's
// whole; a WMF file's after its 22-byte placeable header, whose key is checked, and whose
// box becomes the window it is played with).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(in);
    }
    return bytes;
}

inline std::vector<uint8_t> MetafileBits(const std::vector<uint8_t>& file, bool windowsMetafile,
                                         SIZE* box = nullptr) {
    if (!windowsMetafile) return file;
    constexpr size_t kPlaceableHeader = 22;
    uint32_t key = 0;
    int16_t corners[4] = {};  // left, top, right, bottom
    if (file.size() < kPlaceableHeader) return {};
    std::memcpy(&key, file.data(), sizeof key);
    std::memcpy(corners, file.data() + 6, sizeof corners);
    EXPECT_EQ(key, 0x9AC6CDD7u) << "no placeable header";
    if (box != nullptr) *box = {corners[2] - corners[0], corners[3] - corners[1]};
    return std::vector<uint8_t>(file.begin() + kPlaceableHeader, file.end());
}
