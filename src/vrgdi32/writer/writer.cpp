// The picture writer's output life and error state (see writer.h).
#include "writer/writer.h"

#include <cctype>

#include "job/host_hooks.h"
#include "job/import_job.h"
#include "writer/metafile_builder.h"
#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr std::size_t kNameChars = 259;

bool EqualsIgnoringCase(const char* text, const char* word) {
    if (text == nullptr) return false;
    for (; *word != '\0'; ++text, ++word) {
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*word))) {
            return false;
        }
    }
    return *text == '\0';
}

std::string BoundedCopy(const char* text) {
    if (text == nullptr) return {};
    std::string copy;
    for (std::size_t i = 0; i < kNameChars && text[i] != '\0'; ++i) copy.push_back(text[i]);
    return copy;
}

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

void Writer::SetNames(const char* name1, const char* name2, const char* name3) {
    names_[0] = BoundedCopy(name1);
    names_[1] = BoundedCopy(name2);
    names_[2] = BoundedCopy(name3);
}

int16_t Writer::OpenOutput(const char* outputSpec, const char* outputName, StatusSink* sink) {
    if (outputState_ != OutputState::kClosed) return kVrErrInvalidCall;
    VrHostHooks hooks{};
    const bool hasHooks = sink != nullptr && ReadHostHooks(sink->hostValue, &hooks);
    if (outputName != nullptr && outputName[0] != '\0') {
        if (const int16_t code = file_.Create(outputName)) return code;
    }
    // A new output starts a new picture with a clean slate.
    picture_ = Picture();
    pictureState_ = PictureState::kNone;
    errorPending_ = failed_ = aborted_ = false;

    if (EqualsIgnoringCase(outputSpec, "WMF")) {
        kind_ = MetafileKind::kWindows;
    } else if (EqualsIgnoringCase(outputSpec, "EMF")) {
        kind_ = MetafileKind::kEnhanced;
    } else {
        kind_ = hasHooks && hooks.metafileKind == kVrMetafileWmf ? MetafileKind::kWindows
                                                                 : MetafileKind::kEnhanced;
    }
    sink_ = sink;
    if (sink_ != nullptr) {
        // From here the result fields are ours: the input's memory handle, which the sink
        // carried on entry, must never come back as the picture.
        sink_->dataHandle = 0;
        for (int32_t& side : sink_->bounds) side = 0;
        sink_->unitsPerInch = 0;
    }
    job_ = sink != nullptr ? sink->userData : 0;
    if (hasHooks) AttachHooksToJob(job_, hooks);
    outputState_ = OutputState::kOpen;
    return 0;
}

void Writer::StartOutput() {
    if (outputState_ != OutputState::kOpen) Fail(kVrErrInvalidCall);
}

void Writer::FinishOutput() {
    if (outputState_ != OutputState::kOpen) {
        Fail(kVrErrInvalidCall);
        return;
    }
    outputState_ = OutputState::kFinished;
    if (JobAnsweredStop(job_)) {
        // The host stopped the import; whatever was drawn is not a picture.
        Fail(kVrErrStopped);
        file_.Discard();
        return;
    }
    if (failed_ || aborted_ || pictureState_ != PictureState::kEnded || !picture_.complete()) {
        file_.Discard();
        return;
    }
    ByteBuilder bytes(kMaxMetafileBytes);
    const int16_t built = kind_ == MetafileKind::kWindows ? BuildWindowsMetafile(picture_, bytes)
                                                          : BuildEnhancedMetafile(picture_, bytes);
    if (built != 0) {
        Fail(built);
        file_.Discard();
        return;
    }
    if (file_.isOpen()) {
        int16_t detail = 0;
        if (const int16_t code = file_.WriteAndClose(bytes.data(), bytes.size(), &detail)) {
            Fail(code, detail);
            return;
        }
    }
    HandOver(bytes.data(), bytes.size());
}

void Writer::HandOver(const uint8_t* bytes, std::size_t count) {
    if (sink_ == nullptr) return;
    const auto size = static_cast<UINT>(count);
    void* handle = kind_ == MetafileKind::kWindows ? static_cast<void*>(SetMetaFileBitsEx(size, bytes))
                                                   : static_cast<void*>(SetEnhMetaFileBits(size, bytes));
    if (handle == nullptr) {
        Fail(kVrErrMemory);
        return;
    }
    sink_->dataHandle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
    sink_->bounds[0] = 0;
    sink_->bounds[1] = 0;
    sink_->bounds[2] = static_cast<int32_t>(picture_.width());
    sink_->bounds[3] = static_cast<int32_t>(picture_.height());
    sink_->unitsPerInch = picture_.unitsPerInch();
}

int16_t Writer::CloseOutput() {
    if (outputState_ == OutputState::kClosed) return kVrErrInvalidCall;
    file_.Discard();
    outputState_ = OutputState::kClosed;
    sink_ = nullptr;
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
    if (pictureState_ != PictureState::kBegun) {
        Fail(kVrErrInvalidCall);
        return nullptr;
    }
    return &picture_;
}

}  // namespace vrgdi32
