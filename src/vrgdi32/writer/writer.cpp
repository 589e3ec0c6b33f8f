// The picture writer's output life, error state and drawing calls (see writer.h).
#include "writer/writer.h"

#include <cstdlib>
#include <cstring>

#include "ascii_text.h"
#include "job/host_hooks.h"
#include "job/job_link.h"
#include "system/file_descriptor.h"
#include "writer/metafile_handle.h"
#include "writer/metafile_stream.h"
#include "writer/wmf_stream.h"
#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr std::size_t kNameChars = 259;

}  // namespace

void Writer::Fail(int16_t code, int16_t detail) {
    failed_ = true;
    if (errorPending_) return;
    errorPending_ = true;
    errorCode_ = code;
    errorDetail_ = detail;
}

void Writer::TakeError(uint32_t* flag, int16_t* pair) {
    *flag = errorPending_ ? 1 : 0;
    if (!errorPending_) return;
    if (pair != nullptr) {
        pair[0] = errorCode_;
        pair[1] = errorDetail_;
    }
    errorPending_ = false;
}

int16_t Writer::ChooseDestination(const char* outputName, const VrHostHooks& hooks) {
    const bool named = outputName != nullptr && outputName[0] != '\0';
    if ((hooks.flags & kVrHookOutputFd) != 0) {
        if (named) return kVrErrInvalidCall;
        if (!sys::WritableAndSeekable(hooks.outputFd)) return kVrErrCannotCreate;
        fileBytes_ = std::make_unique<FileSink>(hooks.outputFd);
        toHostDescriptor_ = true;
        return 0;
    }
    if (named) {
        // A longer name would be cut somewhere on its way and another file written.
        if (std::strlen(outputName) > kNameChars) return kVrErrCannotCreate;
        if (const int16_t code = file_.Create(outputName)) return code;
        if (file_.streams()) {
            fileBytes_ = std::make_unique<FileSink>(file_.fd());
            return 0;
        }
    }
    memory_ = std::make_unique<MemorySink>();
    return 0;
}

int16_t Writer::OpenOutput(const char* outputSpec, const char* outputName, StatusSink* sink) {
    if (outputState_ != OutputState::kClosed) return kVrErrInvalidCall;
    VrHostHooks hooks{};
    const bool hasHooks = sink != nullptr && ReadHostHooks(sink->hostValue, &hooks);
    DropOutput();
    if (const int16_t code = ChooseDestination(outputName, hooks)) {
        DropOutput();
        return code;
    }
    // A new output starts a new picture with a clean slate.
    picture_ = Picture();
    picture_.LimitPixels(hooks.maxPixels);
    pictureState_ = PictureState::kNone;
    errorPending_ = failed_ = aborted_ = false;

    // The kind the output names, else the one the host's hooks ask for, else EMF: decided anew
    // for every output, as a writer may make several.
    const bool namedWmf = ascii::EqualIgnoringCase(outputSpec, "WMF");
    const bool namedEmf = ascii::EqualIgnoringCase(outputSpec, "EMF");
    const bool hostWmf = hasHooks && hooks.metafileKind == kVrMetafileWmf;
    kind_ = namedWmf || (!namedEmf && hostWmf) ? MetafileKind::kWindows : MetafileKind::kEnhanced;
    ByteSink& bytes = memory_ ? static_cast<ByteSink&>(*memory_) : *fileBytes_;
    if (kind_ == MetafileKind::kWindows) {
        stream_ = std::make_unique<WindowsMetafileStream>(
            memory_ ? MetafileForm::kHandle : MetafileForm::kFile, bytes);
    } else {
        stream_ = std::make_unique<MetafileStream>(EnhancedMetafileLayout(), bytes);
    }
    sink_ = sink;
    if (sink_ != nullptr) {
        // From here the result fields are ours: the input's memory handle, which the sink
        // carried on entry, must never come back as the picture.
        sink_->dataHandle = 0;
        for (int32_t& side : sink_->bounds) side = 0;
        sink_->unitsPerInch = 0;
    }
    job_ = JobLink(sink != nullptr ? sink->userData : 0);
    if (hasHooks) job_.AttachHooks(hooks);
    outputState_ = OutputState::kOpen;
    return 0;
}

void Writer::StartOutput() {
    if (outputState_ != OutputState::kOpen) Fail(kVrErrInvalidCall);
}

void Writer::FailWriting(int16_t code) {
    Fail(code, fileBytes_ ? fileBytes_->detail() : 0);
}

void Writer::FinishOutput() {
    if (outputState_ != OutputState::kOpen) {
        Fail(kVrErrInvalidCall);
        return;
    }
    outputState_ = OutputState::kFinished;
    if (job_.AnsweredStop()) {
        // The host stopped the import; whatever was drawn is not a picture.
        Fail(kVrErrStopped);
        DropOutput();
        return;
    }
    // A report the import went on after (a palette it could not send, say) does not undo a
    // finished picture: the import's own result is then 0, and the picture is delivered.
    if (failed_ || aborted_ || pictureState_ != PictureState::kEnded || !picture_.complete()) {
        DropOutput();
        return;
    }
    if (const int16_t code = stream_->End(picture_.shape())) {
        FailWriting(code);
        DropOutput();
        return;
    }
    int16_t detail = 0;
    if (const int16_t code = Deliver(&detail)) {
        DropOutput();
        Fail(code, detail);
    }
}

int16_t Writer::Deliver(int16_t* detail) {
    const bool windows = kind_ == MetafileKind::kWindows;
    if (toHostDescriptor_) {
        HandOver(nullptr);
        return 0;
    }
    // The bytes were made in one form; the other takes a different head in place of theirs.
    ByteBuilder head;
    std::size_t replaces = 0;
    if (fileBytes_) {
        const auto size = static_cast<UINT>(fileBytes_->size());
        void* handle = nullptr;
        if (sink_ != nullptr) {
            if (const int16_t code = stream_->HeadAs(MetafileForm::kHandle, head, &replaces))
                return code;
            handle =
                MetafileFromFile(windows, file_.fd(), size, {head.data(), head.size()}, replaces);
            if (handle == nullptr) return kVrErrMemory;
        }
        if (const int16_t code = file_.Commit()) {
            if (handle != nullptr)
                (void)(windows ? DeleteMetaFile(static_cast<HMETAFILE>(handle))
                               : DeleteEnhMetaFile(static_cast<HENHMETAFILE>(handle)));
            return code;
        }
        HandOver(handle);
        return 0;
    }
    const auto size = static_cast<UINT>(memory_->size());
    if (file_.isOpen()) {
        if (const int16_t code = stream_->HeadAs(MetafileForm::kFile, head, &replaces)) return code;
        if (const int16_t code =
                file_.WriteWhole({head.data(), head.size()}, memory_->data() + replaces,
                                 memory_->size() - replaces, detail)) {
            return code;
        }
    }
    if (sink_ == nullptr) return 0;
    uint8_t* bytes = memory_->Release();
    void* handle = MetafileFromBytes(windows, size, bytes);
    if (handle == nullptr) {
        std::free(bytes);
        return kVrErrMemory;
    }
    HandOver(handle);
    return 0;
}

void Writer::HandOver(void* handle) {
    if (sink_ == nullptr) return;
    sink_->dataHandle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    // The left and top bounds stay the 0 that opening the output put there.
    sink_->bounds[2] = static_cast<int32_t>(picture_.width());
    sink_->bounds[3] = static_cast<int32_t>(picture_.height());
    sink_->unitsPerInch = picture_.unitsPerInch();
}

void Writer::DropOutput() {
    // The stream refers to the byte sinks, so it goes first.
    stream_.reset();
    memory_.reset();
    fileBytes_.reset();
    file_.Discard();
    toHostDescriptor_ = false;
}

int16_t Writer::CloseOutput() {
    if (outputState_ == OutputState::kClosed) return kVrErrInvalidCall;
    DropOutput();
    outputState_ = OutputState::kClosed;
    return 0;
}

void Writer::BeginPicture() {
    if (outputState_ != OutputState::kOpen || pictureState_ != PictureState::kNone) {
        Fail(kVrErrInvalidCall);
        return;
    }
    pictureState_ = PictureState::kBegun;
}

void Writer::StartDrawing() {
    // Drawing needs no preparation here; the call only has to come at its place.
    if (pictureState_ != PictureState::kBegun) Fail(kVrErrInvalidCall);
}

void Writer::EndPicture() {
    if (pictureState_ != PictureState::kBegun) {
        Fail(kVrErrInvalidCall);
        return;
    }
    pictureState_ = PictureState::kEnded;
}

Picture* Writer::DrawingPicture() {
    if (pictureState_ != PictureState::kBegun || stream_ == nullptr) {
        Fail(kVrErrInvalidCall);
        return nullptr;
    }
    return &picture_;
}

void Writer::SetPalette(int16_t first, int16_t count, const PaletteEntry* entries) {
    Picture* picture = DrawingPicture();
    if (picture == nullptr) return;
    // Rows waiting to be joined keep the colours they were sent with.
    if (!failed_) {
        if (const int16_t code = stream_->FlushJoined()) return FailWriting(code);
    }
    if (const int16_t code = picture->SetPalette(first, count, entries)) Fail(code);
}

void Writer::BeginBitmap(const BandPlacement& placement, const BitmapSize& size, int16_t format) {
    Picture* picture = DrawingPicture();
    if (picture == nullptr) return;
    if (const int16_t code = picture->BeginBitmap(placement, size, format)) return Fail(code);
    if (const int16_t code = stream_->Begin(picture->shape())) FailWriting(code);
}

void Writer::WriteBand(const BandPlacement& placement, const BitmapSize& size, int16_t format,
                       const uint8_t* rows) {
    Picture* picture = DrawingPicture();
    if (picture == nullptr) return;
    PlacedBand placed;
    if (const int16_t code = picture->WriteBand(placement, size, format, rows, &placed))
        return Fail(code);
    // After a failure nothing more reaches the output.
    if (failed_ || aborted_) return;
    if (const int16_t code = stream_->AddBand(placed.y, placed.rows, rows, placed.ink))
        FailWriting(code);
}

void Writer::EndBitmap() {
    Picture* picture = DrawingPicture();
    if (picture == nullptr) return;
    if (const int16_t code = picture->EndBitmap()) Fail(code);
}

}  // namespace vrgdi32
