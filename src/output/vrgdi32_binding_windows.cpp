// The production import table on Windows: every operation of vrgdi32.dll found by its
// ordinal (the library exports no names).
#include "output/vrgdi32_binding.h"

namespace xpmfilter {
namespace {

template <typename Procedure>
bool Bind(HMODULE library, int ordinal, Procedure* slot) {
    const FARPROC found = ::GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
    if (found == nullptr) return false;
    *slot = reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(found));
    return true;
}

}  // namespace

bool BindVrgdi32ByOrdinal(HMODULE library, GraphicsLibrary* t) {
    return Bind(library, kOrdStreamOpen, &t->StreamOpen) &&
           Bind(library, kOrdStreamRead, &t->StreamRead) &&
           Bind(library, kOrdStreamSeek, &t->StreamSeek) &&
           Bind(library, kOrdStreamClose, &t->StreamClose) &&
           Bind(library, kOrdWriterCreate, &t->WriterCreate) &&
           Bind(library, kOrdWriterDestroy, &t->WriterDestroy) &&
           Bind(library, kOrdWriterSetNames, &t->WriterSetNames) &&
           Bind(library, kOrdWriterSetOption, &t->WriterSetOption) &&
           Bind(library, kOrdWriterGetError, &t->WriterGetError) &&
           Bind(library, kOrdWriterAbort, &t->WriterAbort) &&
           Bind(library, kOrdOutputOpen, &t->OutputOpen) &&
           Bind(library, kOrdOutputStart, &t->OutputStart) &&
           Bind(library, kOrdOutputFinish, &t->OutputFinish) &&
           Bind(library, kOrdOutputClose, &t->OutputClose) &&
           Bind(library, kOrdPictureBegin, &t->PictureBegin) &&
           Bind(library, kOrdPictureStartDrawing, &t->PictureStartDrawing) &&
           Bind(library, kOrdPictureEnd, &t->PictureEnd) &&
           Bind(library, kOrdSetFrame, &t->SetFrame) && Bind(library, kOrdSetUnits, &t->SetUnits) &&
           Bind(library, kOrdSetWindow, &t->SetWindow) &&
           Bind(library, kOrdSetPalette, &t->SetPalette) &&
           Bind(library, kOrdBitmapBegin, &t->BitmapBegin) &&
           Bind(library, kOrdBitmapWriteBand, &t->BitmapWriteBand) &&
           Bind(library, kOrdBitmapEnd, &t->BitmapEnd) &&
           Bind(library, kOrdOptionSetCreate, &t->OptionSetCreate) &&
           Bind(library, kOrdOptionSetEscape, &t->OptionSetEscape) &&
           Bind(library, kOrdDefaultStatusProc, &t->DefaultStatusProc) &&
           Bind(library, kOrdImportJobBegin, &t->ImportJobBegin) &&
           Bind(library, kOrdImportJobEnd, &t->ImportJobEnd) &&
           Bind(library, kOrdPreferencesRun, &t->PreferencesRun) &&
           Bind(library, kOrdPathGetDirectory, &t->PathGetDirectory) &&
           Bind(library, kOrdStrAppendBounded, &t->StrAppendBounded);
}

}  // namespace xpmfilter
