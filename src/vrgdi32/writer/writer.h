// The picture writer: the life of one output (open, start, finish, close), the picture
// drawn in between, the pending error, and the hand-over of the finished metafile.
//
// The metafile is written as the bands arrive (see metafile_stream.h, wmf_stream.h), to one
// of:
// - the host's descriptor, when its hooks ask for it (kVrHookOutputFd): the sink gets the
//   bounds and units per inch, and no handle;
// - the file named at OutputOpen, through a temporary file beside it (see output_file.h):
//   the sink gets a metafile handle over a copy of the finished file in an unnamed file of
//   its own (a Windows Metafile's handle, whose head differs from the file's, over a copy in
//   memory), so a change to the named file cannot reach it;
// - memory: one block that grows as records arrive and that the sink's metafile handle
//   takes over without a copy.
// Files get the file's form of the metafile, handles the handle's (picture_stream.h).
// Only a picture completed with no error, no abort and no stop reaches the sink or
// replaces the named file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "job/job_link.h"
#include "vrgdi32/vrgdi32.h"
#include "writer/byte_sink.h"
#include "writer/picture_stream.h"
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

    // Returns 0 or a writer code (320 out of order or both a name and the host's
    // descriptor, 301 the named file or the descriptor cannot be written).
    [[nodiscard]] int16_t OpenOutput(const char* outputSpec, const char* outputName,
                                     StatusSink* sink);
    void StartOutput();
    // Completes the metafile if the picture is complete; see the class comment.
    void FinishOutput();
    // Returns 0, or 320 when no output is open.
    [[nodiscard]] int16_t CloseOutput();

    void BeginPicture();
    void StartDrawing();
    void EndPicture();
    // The picture being drawn, or null (and a pending 320) outside PictureBegin/End.
    [[nodiscard]] Picture* DrawingPicture();

    // The drawing calls that reach the metafile; each failure becomes the pending error.
    void SetPalette(int16_t first, int16_t count, const PaletteEntry* entries);
    void BeginBitmap(const BandPlacement& placement, const BitmapSize& size, int16_t format);
    void WriteBand(const BandPlacement& placement, const BitmapSize& size, int16_t format,
                   const uint8_t* rows);
    void EndBitmap();

  private:
    enum class OutputState { kClosed, kOpen, kFinished };
    enum class PictureState { kNone, kBegun, kEnded };
    enum class MetafileKind { kEnhanced, kWindows };

    [[nodiscard]] int16_t ChooseDestination(const char* outputName, const VrHostHooks& hooks);
    // Fails with code and the file sink's detail, which only a failed write sets.
    void FailWriting(int16_t code);
    // Hands the complete metafile to its destination. Returns 0 or a writer code (and its
    // detail).
    [[nodiscard]] int16_t Deliver(int16_t* detail);
    void HandOver(void* handle);
    void DropOutput();

    bool errorPending_ = false;
    int16_t errorCode_ = 0;
    int16_t errorDetail_ = 0;
    bool failed_ = false;
    bool aborted_ = false;

    OutputState outputState_ = OutputState::kClosed;
    MetafileKind kind_ = MetafileKind::kEnhanced;
    StatusSink* sink_ = nullptr;
    JobLink job_;  // the import job named in the status record, if any
    OutputFile file_;
    bool toHostDescriptor_ = false;
    std::unique_ptr<MemorySink> memory_;   // when the bytes are kept in memory
    std::unique_ptr<FileSink> fileBytes_;  // when they go to a file as they come
    std::unique_ptr<PictureStream> stream_;

    PictureState pictureState_ = PictureState::kNone;
    Picture picture_;
};

}  // namespace vrgdi32
