// Metafiles as files: a whole file's bytes, and the bits GDI takes from them (an EMF file's
// whole; a WMF file's after its 22-byte placeable header, whose key is checked).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

inline std::vector<uint8_t> MetafileBits(const std::vector<uint8_t>& file, bool windowsMetafile) {
    if (!windowsMetafile) return file;
    constexpr size_t kPlaceableHeader = 22;
    uint32_t key = 0;
    if (file.size() < kPlaceableHeader) return {};
    std::memcpy(&key, file.data(), sizeof key);
    EXPECT_EQ(key, 0x9AC6CDD7u) << "no placeable header";
    return std::vector<uint8_t>(file.begin() + kPlaceableHeader, file.end());
}
