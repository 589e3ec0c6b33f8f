// The picture writer: the life of one output (open, start, finish, close), the picture
// recorded in between, the pending error, and the hand-over of the finished metafile to
// the host's StatusSink. A metafile is made only for a picture that was completed with no
// error, no abort and no stop; otherwise nothing reaches the sink.
#pragma once

#include <cstdint>
#include <string>

#include "vrgdi32/vrgdi32.h"
#include "writer/output_file.h"
#include "writer/picture.h"

namespace vrgdi32 {

class Writer {
  public:
    // Records a failure: it becomes the pending error unless one is pending already, and
    // the output will make no metafile.
    void Fail(int16_t code, int16_t detail = 0);
    // Hands out the pending error (and clears it): *flag non-zero and pair = code, detail.
    void TakeError(uint32_t* flag, int16_t* pair);
    void Abort() { aborted_ = true; }

    void SetNames(const char* name1, const char* name2, const char* name3);
    void SetOption(int32_t option) { option_ = option; }

    // Returns 0 or a writer code (320 out of order, 301 the named file cannot be created).
    [[nodiscard]] int16_t OpenOutput(const char* outputSpec, const char* outputName, StatusSink* sink);
    void StartOutput();
    // Makes the metafile if the picture is complete; see the class comment.
    void FinishOutput();
    // Returns 0, or 320 when no output is open.
    [[nodiscard]] int16_t CloseOutput();

    void BeginPicture();
    void StartDrawing();
    void EndPicture();
    // The picture being drawn, or null (and a pending 320) outside PictureBegin/End.
    [[nodiscard]] Picture* DrawingPicture();

  private:
    enum class OutputState { kClosed, kOpen, kFinished };
    enum class PictureState { kNone, kBegun, kEnded };
    enum class MetafileKind { kEnhanced, kWindows };

    void HandOver(const uint8_t* bytes, std::size_t count);

    bool errorPending_ = false;
    int16_t errorCode_ = 0;
    int16_t errorDetail_ = 0;
    bool failed_ = false;
    bool aborted_ = false;

    std::string names_[3];
    int32_t option_ = 0;

    OutputState outputState_ = OutputState::kClosed;
    MetafileKind kind_ = MetafileKind::kEnhanced;
    StatusSink* sink_ = nullptr;
    uint64_t job_ = 0;
    OutputFile file_;

    PictureState pictureState_ = PictureState::kNone;
    Picture picture_;
};

}  // namespace vrgdi32
