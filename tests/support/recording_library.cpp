// The recording wrapper: each table entry logs its call, then answers from the script or
// passes the call on to the graphics library.
#include "recording_library.h"

#include <bit>
#include <type_traits>

namespace xpmtest {
namespace {

RecordingLibrary* g_current = nullptr;
RecordingLibrary& F() {
    return *g_current;
}

// Each argument goes to the call's texts or numbers; records go field by field.
void Add(Call& call, const char* text) {
    call.texts.emplace_back(text ? text : "<null>");
}
void Add(Call& call, double size) {
    call.args.push_back(std::bit_cast<int64_t>(size));
}
void Add(Call& call, const FrameRect* f) {
    call.args.insert(call.args.end(), {f->x1.value, f->y1.value, f->x2.value, f->y2.value});
}
void Add(Call& call, const BitmapSize* s) {
    call.args.insert(call.args.end(), {s->width, s->rows});
}
void Add(Call& call, const BandPlacement* p) {
    for (CoordSlot c : {p->p1x, p->p1y, p->p2x, p->p2y, p->p3x, p->p3y})
        call.args.push_back(c.value);
}
template <typename T>
void Add(Call& call, T value) {
    if constexpr (std::is_pointer_v<T>)
        call.args.push_back(reinterpret_cast<intptr_t>(value));
    else
        call.args.push_back(static_cast<int64_t>(value));
}
template <typename... A>
Call& Log(const char* op, A... values) {
    Call& call = F().calls.emplace_back(Call{op, {}, {}, {}});
    (Add(call, values), ...);
    return call;
}
// A writer operation, remembered for the error it may leave pending; the writer is left out.
template <typename... A>
Call& W(const char* op, A... values) {
    F().lastWriterOp = op;
    return Log(op, values...);
}
void Copy(Call& call, const void* bytes, size_t size) {
    if (auto* b = static_cast<const uint8_t*>(bytes)) call.data.assign(b, b + size);
}
int16_t Scripted(const std::function<int16_t()>& answer) {
    return answer ? answer() : int16_t{0};
}

// A writer step that is only logged, and a call that is logged and passed on.
#define STEP(op) .op = [](WriterHandle, auto... a) { W(#op, a...); }
#define PASS(op)           \
    .op = [](auto... a) {  \
        Log(#op, a...);    \
        return ::op(a...); \
    }

const xpmfilter::GraphicsLibrary kTable = {
    .StreamOpen = [](const char* path, const StreamSource* source,
                     int32_t reserved) -> StreamHandle {
        Call& call = Log("StreamOpen", path, source, reserved);
        if (source != nullptr)
            call.args.insert(call.args.end(), {int64_t(source->source), source->memorySize,
                                               int64_t(source->routine)});
        if (F().failStreamOpen) return nullptr;
        auto held = std::make_unique<RecordingLibrary::Held>(F().input);
        StreamHandle stream = ::StreamOpen(nullptr, &held->source, 0);
        if (stream != nullptr) F().streams[stream] = std::move(held);
        return stream;
    },
    .StreamRead = ::StreamRead,
    .StreamSeek = ::StreamSeek,
    .StreamClose =
        [](StreamHandle s) {
            Log("StreamClose");
            ::StreamClose(s);
            F().streams.erase(s);
        },
    .WriterCreate =
        [](int32_t reserved) {
            W("WriterCreate", reserved);
            return F().failWriterCreate ? nullptr : reinterpret_cast<WriterHandle>(0x5100);
        },
    .WriterDestroy = [](WriterHandle w) { W("WriterDestroy", w); },
    STEP(WriterSetNames),
    STEP(WriterSetOption),
    .WriterGetError =
        [](WriterHandle, int32_t which, uint32_t* flag, int16_t pair[2]) {
            const auto error =
                F().writerError ? F().writerError(F().lastWriterOp) : std::pair<int16_t, int16_t>{};
            Log("WriterGetError", which, error.first, error.second, F().lastWriterOp.c_str());
            *flag = error.first != 0 || error.second != 0;
            if (*flag == 0) return;
            pair[0] = error.first;
            pair[1] = error.second;
        },
    STEP(WriterAbort),
    .OutputOpen =
        [](WriterHandle, const char* outputSpec, const char* name, int32_t reserved,
           OptionSetHandle set, StatusSink* sink) {
            W("OutputOpen", outputSpec, name, reserved, set, sink);
            F().sinkAtOpen = sink;
            return Scripted(F().outputOpenResult);
        },
    STEP(OutputStart),
    STEP(OutputFinish),
    .OutputClose =
        [](WriterHandle) {
            W("OutputClose");
            if (F().fillSink && F().sinkAtOpen != nullptr) F().fillSink(*F().sinkAtOpen);
            return Scripted(F().outputCloseResult);
        },
    STEP(PictureBegin),
    STEP(PictureStartDrawing),
    STEP(PictureEnd),
    STEP(SetFrame),
    STEP(SetUnits),
    STEP(SetWindow),
    .SetPalette =
        [](WriterHandle, int16_t first, int16_t count, const PaletteEntry* entries) {
            Copy(W("SetPalette", first, count), count > 0 ? entries : nullptr,
                 sizeof(PaletteEntry) * (count > 0 ? count : 0));
        },
    STEP(BitmapBegin),
    .BitmapWriteBand =
        [](WriterHandle, const BandPlacement* p, const BitmapSize* s, int16_t format, int16_t arg,
           const uint8_t* rows) {
            // Sizes travel as 16 bits: a width or a band of 32768 arrives as -32768.
            Copy(W("BitmapWriteBand", p, s, format, arg), rows,
                 (uint16_t(s->width) + 3) / 4 * 4 * size_t{uint16_t(s->rows)});
        },
    STEP(BitmapEnd),
    .OptionSetCreate =
        [](int32_t a, int32_t b, int32_t c, int32_t d) {
            Log("OptionSetCreate", a, b, c, d);
            return F().failOptionSetCreate ? nullptr : ::OptionSetCreate(a, b, c, d);
        },
    .OptionSetEscape =
        [](OptionSetHandle set, uint32_t code, uint32_t size, const void* in, void* out,
           uint32_t flag) {
            Call& call = Log("OptionSetEscape", set, code, size, in, out, flag);
            if (code == 42 && size == 56) Copy(call, in, 56);
            if (code == 3 && in != nullptr) call.args.push_back(*static_cast<const uint16_t*>(in));
            if (code == 40 && in != nullptr) call.args.push_back(*static_cast<const uint8_t*>(in));
            const int32_t result = ::OptionSetEscape(set, code, size, in, out, flag);
            if (result == 0 && code == 4) *static_cast<uint16_t*>(out) = F().query4Answer;
            return result;
        },
    .DefaultStatusProc = RecordingLibrary::StatusProc,
    PASS(ImportJobBegin),
    .ImportJobEnd =
        [](ImportJobHandle job) {
            Log("ImportJobEnd", job);
            const int16_t outcome = ::ImportJobEnd(job);
            return F().jobEndResult ? F().jobEndResult() : outcome;
        },
    PASS(PreferencesRun),
    PASS(PathGetDirectory),
    PASS(StrAppendBounded),
};
#undef STEP
#undef PASS

}  // namespace

RecordingLibrary::RecordingLibrary() {
    g_current = this;
    xpmfilter::BindGraphicsLibrary(&kTable);
}

RecordingLibrary::~RecordingLibrary() {
    for (auto& open : streams) ::StreamClose(open.first);
    g_current = nullptr;
    xpmfilter::BindGraphicsLibrary(nullptr);
}

const xpmfilter::GraphicsLibrary& RecordingLibrary::Table() const {
    return kTable;
}

int32_t RecordingLibrary::StatusProc(uint64_t userData, uint32_t kind, uint32_t code,
                                     uint32_t first, uint32_t second, uint32_t severityClass,
                                     const uint64_t* block) {
    Copy(Log("Status", userData, kind, code, first, second, severityClass, block), block,
         10 * sizeof(uint64_t));
    // The job sees every call (its outcome is its first report); the script, if any, answers.
    const int32_t own =
        ::DefaultStatusProc(userData, kind, code, first, second, severityClass, block);
    return F().statusAnswer ? F().statusAnswer(kind, code, first, second) : own;
}

std::vector<const Call*> RecordingLibrary::Find(const std::string& op) const {
    std::vector<const Call*> found;
    for (const Call& call : calls)
        if (call.op == op) found.push_back(&call);
    return found;
}

std::string JoinOps(const std::vector<Call>& calls) {
    std::string joined;
    for (const Call& call : calls) joined += (joined.empty() ? "" : " ") + call.op;
    return joined;
}

}  // namespace xpmtest
