// The recording fake of the graphics library: trampolines that log each call and answer
// from the current test's script.
#include "recording_library.h"

#include <algorithm>
#include <cstring>

#include "winshim/winshim.h"

namespace xpmtest {
namespace {

RecordingLibrary* g_current = nullptr;

constexpr uintptr_t kWriterValue = 0x5100;

struct FakeOptionSet {
    uint32_t magic;
    uint8_t stored[56];
    uint16_t option3;
    uint8_t option40;
};
constexpr uint32_t kFakeOptionSetMagic = 0x0F5E7000u;

RecordingLibrary& F() { return *g_current; }

Call& Log(const std::string& op, std::vector<int64_t> args = {},
          std::vector<std::string> texts = {}) {
    F().calls.push_back(Call{op, std::move(args), std::move(texts), {}});
    return F().calls.back();
}

std::string Text(const char* s) { return s == nullptr ? std::string("<null>") : std::string(s); }

int64_t P(const void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }

void WriterOp(const std::string& op) { F().lastWriterOp = op; }

// ---- Streams ----------------------------------------------------------------------------

StreamHandle FakeStreamOpen(const char* path, const StreamSource* source, int32_t reserved) {
    Call& call = Log("StreamOpen", {P(source), reserved}, {Text(path)});
    if (source != nullptr) {
        call.args.push_back(static_cast<int64_t>(source->source));
        call.args.push_back(source->memorySize);
        call.args.push_back(static_cast<int64_t>(source->routine));
    }
    if (F().failStreamOpen) return nullptr;
    auto* stream = new RecordingLibrary::Stream{F().input, 0};
    ++F().openStreams_;
    return reinterpret_cast<StreamHandle>(stream);
}

int32_t FakeStreamRead(StreamHandle handle, void* buffer, int32_t count) {
    auto* stream = reinterpret_cast<RecordingLibrary::Stream*>(handle);
    if (F().recordStreamReads) Log("StreamRead", {count});
    if (count <= 0 || stream->position >= stream->data.size()) return 0;
    size_t n = std::min<size_t>(static_cast<size_t>(count), stream->data.size() - stream->position);
    std::memcpy(buffer, stream->data.data() + stream->position, n);
    stream->position += n;
    return static_cast<int32_t>(n);
}

int32_t FakeStreamSeek(StreamHandle handle, int32_t offset, int32_t origin) {
    auto* stream = reinterpret_cast<RecordingLibrary::Stream*>(handle);
    if (F().recordStreamReads) Log("StreamSeek", {offset, origin});
    if (!F().seekable) return -1;
    int64_t base = origin == 0 ? 0
                   : origin == 1 ? static_cast<int64_t>(stream->position)
                                 : static_cast<int64_t>(stream->data.size());
    int64_t target = base + offset;
    if (target < 0 || target > static_cast<int64_t>(stream->data.size())) return -1;
    stream->position = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
}

void FakeStreamClose(StreamHandle handle) {
    Log("StreamClose");
    delete reinterpret_cast<RecordingLibrary::Stream*>(handle);
    --F().openStreams_;
}

// ---- Writer -----------------------------------------------------------------------------

WriterHandle FakeWriterCreate(int32_t reserved) {
    Log("WriterCreate", {reserved});
    if (F().failWriterCreate) return nullptr;
    ++F().liveWriters_;
    return reinterpret_cast<WriterHandle>(kWriterValue);
}

void FakeWriterDestroy(WriterHandle writer) {
    Log("WriterDestroy", {P(writer)});
    --F().liveWriters_;
}

void FakeWriterSetNames(WriterHandle, const char* a, const char* b, const char* c) {
    Log("WriterSetNames", {}, {Text(a), Text(b), Text(c)});
}

void FakeWriterSetOption(WriterHandle, int32_t option) {
    Log("WriterSetOption", {option});
}

void FakeWriterGetError(WriterHandle, int32_t which, uint32_t* flag, int16_t pair[2]) {
    std::pair<int16_t, int16_t> error{0, 0};
    if (F().writerError) error = F().writerError(F().lastWriterOp);
    Log("WriterGetError", {which, error.first, error.second}, {F().lastWriterOp});
    if (error.first != 0 || error.second != 0) {
        *flag = 1;
        pair[0] = error.first;
        pair[1] = error.second;
    }
}

void FakeWriterAbort(WriterHandle) {
    Log("WriterAbort");
    WriterOp("WriterAbort");
}

int16_t FakeOutputOpen(WriterHandle, const char* outputSpec, const char* name, int32_t reserved,
                       OptionSetHandle set, StatusSink* sink) {
    Log("OutputOpen", {reserved, P(set), P(sink)}, {Text(outputSpec), Text(name)});
    WriterOp("OutputOpen");
    F().sinkAtOpen = sink;
    return F().outputOpenResult ? F().outputOpenResult() : 0;
}

void FakeOutputStart(WriterHandle, const char* outputSpec) {
    Log("OutputStart", {}, {Text(outputSpec)});
    WriterOp("OutputStart");
}

void FakeOutputFinish(WriterHandle) {
    Log("OutputFinish");
    WriterOp("OutputFinish");
}

int16_t FakeOutputClose(WriterHandle) {
    Log("OutputClose");
    WriterOp("OutputClose");
    if (F().fillSink && F().sinkAtOpen != nullptr) F().fillSink(*F().sinkAtOpen);
    return F().outputCloseResult ? F().outputCloseResult() : 0;
}

void FakePictureBegin(WriterHandle, const char* name) {
    Log("PictureBegin", {}, {Text(name)});
    WriterOp("PictureBegin");
}

void FakePictureStartDrawing(WriterHandle) {
    Log("PictureStartDrawing");
    WriterOp("PictureStartDrawing");
}

void FakePictureEnd(WriterHandle) {
    Log("PictureEnd");
    WriterOp("PictureEnd");
}

std::vector<int64_t> Frame(const FrameRect* f) {
    return {f->x1.value, f->y1.value, f->x2.value, f->y2.value};
}

void FakeSetFrame(WriterHandle, const FrameRect* frame) { Log("SetFrame", Frame(frame)); }

void FakeSetUnits(WriterHandle, int16_t kind, double size) {
    int64_t bits;
    std::memcpy(&bits, &size, sizeof bits);
    Log("SetUnits", {kind, bits});
}

void FakeSetWindow(WriterHandle, const FrameRect* window) { Log("SetWindow", Frame(window)); }

void FakeSetPalette(WriterHandle, int16_t first, int16_t count, const PaletteEntry* entries) {
    Call& call = Log("SetPalette", {first, count});
    if (count > 0 && entries != nullptr) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(entries);
        call.data.assign(bytes, bytes + sizeof(PaletteEntry) * static_cast<size_t>(count));
    }
}

std::vector<int64_t> Placement(const BandPlacement* p, const BitmapSize* s) {
    return {p->p1x.value, p->p1y.value, p->p2x.value, p->p2y.value,
            p->p3x.value, p->p3y.value, s->width,     s->rows};
}

void FakeBitmapBegin(WriterHandle, const BandPlacement* placement, const BitmapSize* size,
                     int16_t format, int16_t a2, int16_t a3, int16_t a4, int16_t a5) {
    std::vector<int64_t> args = Placement(placement, size);
    args.insert(args.end(), {format, a2, a3, a4, a5});
    Log("BitmapBegin", std::move(args));
    WriterOp("BitmapBegin");
}

void FakeBitmapWriteBand(WriterHandle, const BandPlacement* placement, const BitmapSize* size,
                         int16_t format, int16_t arg, const uint8_t* rows) {
    std::vector<int64_t> args = Placement(placement, size);
    args.insert(args.end(), {format, arg});
    Call& call = Log("BitmapWriteBand", std::move(args));
    // Sizes travel as 16 bits: a width or a band of 32768 arrives as -32768.
    int64_t width = static_cast<uint16_t>(size->width);
    int64_t count = static_cast<uint16_t>(size->rows);
    int64_t stride = ((width + 3) / 4) * 4;
    if (rows != nullptr) call.data.assign(rows, rows + stride * count);
    WriterOp("BitmapWriteBand");
}

void FakeBitmapEnd(WriterHandle) {
    Log("BitmapEnd");
    WriterOp("BitmapEnd");
}

// ---- Option sets ------------------------------------------------------------------------

OptionSetHandle FakeOptionSetCreate(int32_t a, int32_t b, int32_t c, int32_t d) {
    Log("OptionSetCreate", {a, b, c, d});
    if (F().failOptionSetCreate) return nullptr;
    HGLOBAL set = GlobalAlloc(GHND, sizeof(FakeOptionSet));
    if (set == nullptr) return nullptr;
    auto* block = static_cast<FakeOptionSet*>(GlobalLock(set));
    block->magic = kFakeOptionSetMagic;
    GlobalUnlock(set);
    return set;
}

int32_t FakeOptionSetEscape(OptionSetHandle set, uint32_t code, uint32_t size, const void* in,
                            void* out, uint32_t flag) {
    Call& call = Log("OptionSetEscape", {P(set), code, size, P(in), P(out), flag});
    if (code == 42 && in != nullptr && size == 56) {
        const auto* bytes = static_cast<const uint8_t*>(in);
        call.data.assign(bytes, bytes + 56);
    }
    if ((code == 3 || code == 40) && in != nullptr)
        call.args.push_back(code == 3 ? *static_cast<const uint16_t*>(in)
                                      : *static_cast<const uint8_t*>(in));
    int32_t result = 0;
    if (F().escapeOverride && F().escapeOverride(code, result)) return result;

    auto* block = static_cast<FakeOptionSet*>(GlobalLock(set));
    if (block == nullptr) return -1;
    result = 0;
    if (block->magic != kFakeOptionSetMagic) {
        result = -1;
    } else if (code == 42 && size == 56 && in != nullptr) {
        std::memcpy(block->stored, in, 56);
    } else if (code == 43 && size == 56 && out != nullptr) {
        std::memcpy(out, block->stored, 56);
    } else if (code == 4 && out != nullptr) {
        *static_cast<uint16_t*>(out) = F().query4Answer;
    } else if (code == 26 && out != nullptr) {
        *static_cast<uint32_t*>(out) = 0;
    } else if (code == 3 && in != nullptr) {
        block->option3 = *static_cast<const uint16_t*>(in);
    } else if (code == 40 && in != nullptr) {
        block->option40 = *static_cast<const uint8_t*>(in);
    } else {
        result = -1;
    }
    GlobalUnlock(set);
    return result;
}

// ---- Job, preferences, paths ------------------------------------------------------------

ImportJobHandle FakeImportJobBegin(HWND window, const char* title, const char* inputName,
                                   int32_t reserved, uint32_t version, uint32_t option26) {
    Log("ImportJobBegin", {P(window), reserved, version, option26}, {Text(title), Text(inputName)});
    ++F().openJobs_;
    F().firstReportedCode = 0;
    F().answeredStop = false;
    return ++F().nextJob;
}

int16_t FakeImportJobEnd(ImportJobHandle job) {
    Log("ImportJobEnd", {static_cast<int64_t>(job)});
    --F().openJobs_;
    if (F().jobEndResult) return F().jobEndResult();
    if (F().firstReportedCode != 0) return static_cast<int16_t>(F().firstReportedCode);
    return F().answeredStop ? 61 : 0;
}

int32_t FakePreferencesRun(void* host, HGLOBAL setup, uint64_t hostValue, VrEditRoutine edit,
                           uint32_t kind, const char* title) {
    Log("PreferencesRun", {P(host), P(setup), static_cast<int64_t>(hostValue),
                           P(reinterpret_cast<const void*>(edit)), kind},
        {Text(title)});
    return edit != nullptr ? edit(reinterpret_cast<uint64_t>(host),
                                  reinterpret_cast<uint64_t>(setup), hostValue)
                           : 0;
}

void FakePathGetDirectory(char* out, const char* path) {
    Log("PathGetDirectory", {}, {Text(path)});
    const char* slash = std::strrchr(path, '/');
    size_t n = slash == nullptr ? 0 : static_cast<size_t>(slash - path) + 1;
    n = std::min<size_t>(n, 259);
    std::memcpy(out, path, n);
    out[n] = '\0';
}

void FakeStrAppendBounded(char* dest, const char* source, int32_t roomLeft) {
    Log("StrAppendBounded", {roomLeft}, {Text(dest), Text(source)});
    if (roomLeft <= 1) return;
    const char* part = source;
    if (source[0] == '/') {
        const char* slash = std::strrchr(source, '/');
        part = slash + 1;
    }
    size_t len = std::strlen(dest);
    size_t n = std::min<size_t>(std::strlen(part), static_cast<size_t>(roomLeft) - 1);
    std::memcpy(dest + len, part, n);
    dest[len + n] = '\0';
}

xpmfilter::GraphicsLibrary MakeTable() {
    return xpmfilter::GraphicsLibrary{
        FakeStreamOpen,      FakeStreamRead,      FakeStreamSeek,       FakeStreamClose,
        FakeWriterCreate,    FakeWriterDestroy,   FakeWriterSetNames,   FakeWriterSetOption,
        FakeWriterGetError,  FakeWriterAbort,     FakeOutputOpen,       FakeOutputStart,
        FakeOutputFinish,    FakeOutputClose,     FakePictureBegin,     FakePictureStartDrawing,
        FakePictureEnd,      FakeSetFrame,        FakeSetUnits,         FakeSetWindow,
        FakeSetPalette,      FakeBitmapBegin,     FakeBitmapWriteBand,  FakeBitmapEnd,
        FakeOptionSetCreate, FakeOptionSetEscape, RecordingLibrary::StatusProc,
        FakeImportJobBegin,  FakeImportJobEnd,    FakePreferencesRun,   FakePathGetDirectory,
        FakeStrAppendBounded,
    };
}

const xpmfilter::GraphicsLibrary kTable = MakeTable();

}  // namespace

RecordingLibrary::RecordingLibrary() {
    g_current = this;
    xpmfilter::BindGraphicsLibrary(&kTable);
}

RecordingLibrary::~RecordingLibrary() {
    xpmfilter::BindGraphicsLibrary(nullptr);
    g_current = nullptr;
}

RecordingLibrary& RecordingLibrary::Current() { return *g_current; }

const xpmfilter::GraphicsLibrary& RecordingLibrary::Table() const { return kTable; }

int32_t RecordingLibrary::StatusProc(uint64_t userData, uint32_t kind, uint32_t code,
                                     uint32_t first, uint32_t second, uint32_t severityClass,
                                     const uint64_t* block) {
    RecordingLibrary& f = F();
    Call& call = Log("Status", {static_cast<int64_t>(userData), kind, code, first, second,
                                severityClass, P(block)});
    if (block != nullptr) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(block);
        call.data.assign(bytes, bytes + 10 * sizeof(uint64_t));
    }
    int32_t answer = f.statusAnswer ? f.statusAnswer(kind, code, first, second) : 0;
    if (kind == 3 && f.firstReportedCode == 0) f.firstReportedCode = static_cast<int32_t>(code);
    if (kind == 2 && answer != 0) f.answeredStop = true;
    return answer;
}

std::vector<std::string> RecordingLibrary::Ops() const {
    std::vector<std::string> ops;
    ops.reserve(calls.size());
    for (const Call& call : calls) ops.push_back(call.op);
    return ops;
}

std::vector<const Call*> RecordingLibrary::Find(const std::string& op) const {
    std::vector<const Call*> found;
    for (const Call& call : calls)
        if (call.op == op) found.push_back(&call);
    return found;
}

size_t RecordingLibrary::Count(const std::string& op) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(),
                                             [&](const Call& c) { return c.op == op; }));
}

std::string JoinOps(const std::vector<std::string>& ops) {
    std::string joined;
    for (const std::string& op : ops) {
        if (!joined.empty()) joined += ' ';
        joined += op;
    }
    return joined;
}

}  // namespace xpmtest
