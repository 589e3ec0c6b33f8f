// The filter's import table to the graphics library: one function pointer per operation,
// bound once. Production binds it to libvrgdi32; tests bind a recording fake.
#pragma once

#include <atomic>
#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace xpmfilter {

// Every operation of the graphics library the filter calls, listed once: the import table and
// both production bindings are made from this list, so no entry can be bound to another
// operation. Each one's ordinal is kOrd<name> in vrgdi32.h.
#define XPMFILTER_GDI_OPERATIONS(X) \
    X(StreamOpen)                   \
    X(StreamRead)                   \
    X(StreamSeek)                   \
    X(StreamClose)                  \
    X(WriterCreate)                 \
    X(WriterDestroy)                \
    X(WriterSetNames)               \
    X(WriterSetOption)              \
    X(WriterGetError)               \
    X(WriterAbort)                  \
    X(OutputOpen)                   \
    X(OutputStart)                  \
    X(OutputFinish)                 \
    X(OutputClose)                  \
    X(PictureBegin)                 \
    X(PictureStartDrawing)          \
    X(PictureEnd)                   \
    X(SetFrame)                     \
    X(SetUnits)                     \
    X(SetWindow)                    \
    X(SetPalette)                   \
    X(BitmapBegin)                  \
    X(BitmapWriteBand)              \
    X(BitmapEnd)                    \
    X(OptionSetCreate)              \
    X(OptionSetEscape)              \
    X(DefaultStatusProc)            \
    X(ImportJobBegin)               \
    X(ImportJobEnd)                 \
    X(PreferencesRun)               \
    X(PathGetDirectory)             \
    X(StrAppendBounded)

struct GraphicsLibrary {
#define XPMFILTER_GDI_ENTRY(name) decltype(&::name) name;
    XPMFILTER_GDI_OPERATIONS(XPMFILTER_GDI_ENTRY)
#undef XPMFILTER_GDI_ENTRY
};

extern std::atomic<const GraphicsLibrary*> g_library;

// The bound table. Binding happens once, before any import (the module binds at load).
// Inline: every byte the decoder reads goes through it.
[[nodiscard]] inline const GraphicsLibrary& Gdi() {
    return *g_library.load(std::memory_order_acquire);
}
void BindGraphicsLibrary(const GraphicsLibrary* library);

}  // namespace xpmfilter
