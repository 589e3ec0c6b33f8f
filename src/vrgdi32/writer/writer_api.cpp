// The exported writer operations. Each finds its writer through the handle table (an
// unknown handle does nothing, or answers 320), runs one writer step, and turns anything
// thrown inside into a pending writer error.
#include <memory>
#include <new>

#include "handle_table.h"
#include "vrgdi32/vrgdi32.h"
#include "writer/writer.h"
#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constinit HandleTable<Writer> g_writers;

Writer* FindWriter(WriterHandle handle) {
    return g_writers.Find(FromHandle(handle));
}

// Runs step on the writer named by handle; a failure to allocate inside becomes 300.
template <typename Step>
void WithWriter(WriterHandle handle, Step&& step) {
    Writer* writer = FindWriter(handle);
    if (writer == nullptr) return;
    try {
        step(*writer);
    } catch (const std::bad_alloc&) {
        writer->Fail(kVrErrMemory);
    } catch (...) {
        writer->Fail(kVrErrInvalidCall);
    }
}

// Runs a drawing step on the picture being drawn; a non-zero code it returns is pending.
template <typename Step>
void WithPicture(WriterHandle handle, Step&& step) {
    WithWriter(handle, [&](Writer& writer) {
        Picture* picture = writer.DrawingPicture();
        if (picture == nullptr) return;
        if (const int16_t code = step(*picture)) writer.Fail(code);
    });
}

}  // namespace
}  // namespace vrgdi32

using vrgdi32::Picture;
using vrgdi32::WithPicture;
using vrgdi32::WithWriter;
using vrgdi32::Writer;

extern "C" {

VRGDI32_API WriterHandle WriterCreate(int32_t /*reserved*/) {
    try {
        std::unique_ptr<Writer> writer(new (std::nothrow) Writer);
        if (writer == nullptr) return nullptr;
        return vrgdi32::ToHandle<WriterHandle>(vrgdi32::g_writers.Insert(std::move(writer)));
    } catch (...) {
        return nullptr;
    }
}

VRGDI32_API void WriterDestroy(WriterHandle writer) {
    // An output still open is dropped: its file is removed, no metafile is made.
    std::unique_ptr<Writer> destroyed = vrgdi32::g_writers.Remove(vrgdi32::FromHandle(writer));
}

// The names and the option mean nothing to this writer: what it makes depends on the output
// and the host's hooks alone. Accepted, and kept by no one.
VRGDI32_API void WriterSetNames(WriterHandle, const char*, const char*, const char*) {}

VRGDI32_API void WriterSetOption(WriterHandle, int32_t) {}

VRGDI32_API void WriterGetError(WriterHandle writer, int32_t /*which*/, uint32_t* flag,
                                int16_t pair[2]) {
    if (flag == nullptr) return;
    Writer* found = vrgdi32::FindWriter(writer);
    if (found == nullptr) {
        // A writer that does not exist cannot have done what was asked of it.
        *flag = 1;
        if (pair != nullptr) {
            pair[0] = kVrErrInvalidCall;
            pair[1] = 0;
        }
        return;
    }
    found->TakeError(flag, pair);
}

VRGDI32_API void WriterAbort(WriterHandle writer) {
    WithWriter(writer, [](Writer& w) { w.Abort(); });
}

VRGDI32_API int16_t OutputOpen(WriterHandle writer, const char* outputSpec, const char* outputName,
                               int32_t /*reserved*/, OptionSetHandle /*optionSet*/,
                               StatusSink* sink) {
    Writer* found = vrgdi32::FindWriter(writer);
    if (found == nullptr) return kVrErrInvalidCall;
    try {
        return found->OpenOutput(outputSpec, outputName, sink);
    } catch (const std::bad_alloc&) {
        return kVrErrMemory;
    } catch (...) {
        return kVrErrInvalidCall;
    }
}

VRGDI32_API void OutputStart(WriterHandle writer, const char* /*outputSpec*/) {
    WithWriter(writer, [](Writer& w) { w.StartOutput(); });
}

VRGDI32_API void OutputFinish(WriterHandle writer) {
    WithWriter(writer, [](Writer& w) { w.FinishOutput(); });
}

VRGDI32_API int16_t OutputClose(WriterHandle writer) {
    Writer* found = vrgdi32::FindWriter(writer);
    if (found == nullptr) return kVrErrInvalidCall;
    return found->CloseOutput();
}

VRGDI32_API void PictureBegin(WriterHandle writer, const char* /*name*/) {
    WithWriter(writer, [](Writer& w) { w.BeginPicture(); });
}

VRGDI32_API void PictureStartDrawing(WriterHandle writer) {
    WithWriter(writer, [](Writer& w) { w.StartDrawing(); });
}

VRGDI32_API void PictureEnd(WriterHandle writer) {
    WithWriter(writer, [](Writer& w) { w.EndPicture(); });
}

VRGDI32_API void SetFrame(WriterHandle writer, const FrameRect* frame) {
    WithPicture(writer, [&](Picture& p) -> int16_t {
        return frame == nullptr ? int16_t{kVrErrInvalidCall} : p.SetFrame(*frame);
    });
}

VRGDI32_API void SetUnits(WriterHandle writer, int16_t unitKind, double unitSize) {
    WithPicture(writer, [&](Picture& p) { return p.SetUnits(unitKind, unitSize); });
}

VRGDI32_API void SetWindow(WriterHandle writer, const FrameRect* window) {
    // Bands are placed relative to the bitmap's own corner, so the window is only checked.
    WithPicture(writer,
                [&](Picture&) -> int16_t { return window == nullptr ? kVrErrInvalidCall : 0; });
}

VRGDI32_API void SetPalette(WriterHandle writer, int16_t first, int16_t count,
                            const PaletteEntry* entries) {
    WithWriter(writer, [&](Writer& w) { w.SetPalette(first, count, entries); });
}

VRGDI32_API void BitmapBegin(WriterHandle writer, const BandPlacement* placement,
                             const BitmapSize* size, int16_t format, int16_t /*arg2*/,
                             int16_t /*arg3*/, int16_t /*arg4*/, int16_t /*arg5*/) {
    WithWriter(writer, [&](Writer& w) {
        if (placement == nullptr || size == nullptr) return w.Fail(kVrErrInvalidCall);
        w.BeginBitmap(*placement, *size, format);
    });
}

VRGDI32_API void BitmapWriteBand(WriterHandle writer, const BandPlacement* placement,
                                 const BitmapSize* size, int16_t format, int16_t /*arg*/,
                                 const uint8_t* rows) {
    WithWriter(writer, [&](Writer& w) {
        if (placement == nullptr || size == nullptr) return w.Fail(kVrErrInvalidCall);
        w.WriteBand(*placement, *size, format, rows);
    });
}

VRGDI32_API void BitmapEnd(WriterHandle writer) {
    WithWriter(writer, [](Writer& w) { w.EndBitmap(); });
}

}  // extern "C"
