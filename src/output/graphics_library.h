// The filter's import table to the graphics library: one function pointer per operation,
// bound once. Production binds it to libvrgdi32; tests bind a recording fake.
#pragma once

#include <atomic>
#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace xpmfilter {

struct GraphicsLibrary {
    decltype(&::StreamOpen) StreamOpen;                    // 3101
    decltype(&::StreamRead) StreamRead;                    // 3108
    decltype(&::StreamSeek) StreamSeek;                    // 3103
    decltype(&::StreamClose) StreamClose;                  // 3100
    decltype(&::WriterCreate) WriterCreate;                // 2817
    decltype(&::WriterDestroy) WriterDestroy;              // 2818
    decltype(&::WriterSetNames) WriterSetNames;            // 3004
    decltype(&::WriterSetOption) WriterSetOption;          // 259
    decltype(&::WriterGetError) WriterGetError;            // 2562
    decltype(&::WriterAbort) WriterAbort;                  // 2563
    decltype(&::OutputOpen) OutputOpen;                    // 2819
    decltype(&::OutputStart) OutputStart;                  // 2821
    decltype(&::OutputFinish) OutputFinish;                // 2822
    decltype(&::OutputClose) OutputClose;                  // 2820
    decltype(&::PictureBegin) PictureBegin;                // 3
    decltype(&::PictureStartDrawing) PictureStartDrawing;  // 4
    decltype(&::PictureEnd) PictureEnd;                    // 5
    decltype(&::SetFrame) SetFrame;                        // 518
    decltype(&::SetUnits) SetUnits;                        // 637
    decltype(&::SetWindow) SetWindow;                      // 639
    decltype(&::SetPalette) SetPalette;                    // 1314
    decltype(&::BitmapBegin) BitmapBegin;                  // 1147
    decltype(&::BitmapWriteBand) BitmapWriteBand;          // 1033
    decltype(&::BitmapEnd) BitmapEnd;                      // 1146
    decltype(&::OptionSetCreate) OptionSetCreate;          // 102
    decltype(&::OptionSetEscape) OptionSetEscape;          // 110
    decltype(&::DefaultStatusProc) DefaultStatusProc;      // 111
    decltype(&::ImportJobBegin) ImportJobBegin;            // 113
    decltype(&::ImportJobEnd) ImportJobEnd;                // 114
    decltype(&::PreferencesRun) PreferencesRun;            // 112
    decltype(&::PathGetDirectory) PathGetDirectory;        // 2725
    decltype(&::StrAppendBounded) StrAppendBounded;        // 2721
};

extern std::atomic<const GraphicsLibrary*> g_library;

// The bound table. Binding happens once, before any import (the module binds at load).
// Inline: every byte the decoder reads goes through it.
[[nodiscard]] inline const GraphicsLibrary& Gdi() {
    return *g_library.load(std::memory_order_acquire);
}
void BindGraphicsLibrary(const GraphicsLibrary* library);

}  // namespace xpmfilter
