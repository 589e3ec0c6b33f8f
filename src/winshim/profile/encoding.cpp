// UTF-16LE profile files: conversion to and from the 8-bit text the parser works on.
#include "profile/encoding.h"

#include <cstdint>
#include <utility>

namespace winshim {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// Reads one code point at text[*pos] (surrogate code points encoded alone are accepted, so
// unpaired surrogates from a decode come back). Invalid bytes stand for themselves.
[[nodiscard]] uint32_t NextCodePoint(const std::string& text, size_t* pos) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(*pos);
    size_t length = 0;
    uint32_t cp = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    }
    if (length == 0 || *pos + length > text.size()) {
        ++*pos;
        return lead;
    }
    for (size_t i = 1; i < length; ++i) {
        uint8_t next = byte(*pos + i);
        if ((next & 0xC0) != 0x80) {
            ++*pos;
            return lead;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF) {
        ++*pos;
        return lead;
    }
    *pos += length;
    return cp;
}

}  // namespace

DecodedText DecodeProfileBytes(std::string bytes) {
    DecodedText decoded;
    if (bytes.size() < 2 || static_cast<uint8_t>(bytes[0]) != 0xFF ||
        static_cast<uint8_t>(bytes[1]) != 0xFE) {
        decoded.text = std::move(bytes);
        return decoded;
    }
    decoded.encoding = TextEncoding::kUtf16Le;
    const auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) |
               (static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8);
    };
    size_t i = 2;
    while (i + 1 < bytes.size()) {
        uint32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            uint32_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                AppendUtf8(decoded.text, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        AppendUtf8(decoded.text, u);
    }
    if (i < bytes.size()) decoded.oddTrailingByte = bytes.substr(i);
    return decoded;
}

std::string EncodeProfileText(const std::string& text, TextEncoding encoding,
                              const std::string& trailing) {
    if (encoding == TextEncoding::kAnsi) return text + trailing;
    std::string out = "\xFF\xFE";
    size_t pos = 0;
    while (pos < text.size()) {
        uint32_t cp = NextCodePoint(text, &pos);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16(out, 0xD800 + (cp >> 10));
            AppendUtf16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendUtf16(out, cp);
        }
    }
    return out + trailing;
}

}  // namespace winshim
