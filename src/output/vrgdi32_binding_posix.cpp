// The production import table on POSIX: every operation bound to libvrgdi32 by name.
#include "output/vrgdi32_binding.h"

namespace xpmfilter {

const GraphicsLibrary& Vrgdi32Library() {
    static const GraphicsLibrary table = {
        ::StreamOpen,      ::StreamRead,      ::StreamSeek,        ::StreamClose,
        ::WriterCreate,    ::WriterDestroy,   ::WriterSetNames,    ::WriterSetOption,
        ::WriterGetError,  ::WriterAbort,     ::OutputOpen,        ::OutputStart,
        ::OutputFinish,    ::OutputClose,     ::PictureBegin,      ::PictureStartDrawing,
        ::PictureEnd,      ::SetFrame,        ::SetUnits,          ::SetWindow,
        ::SetPalette,      ::BitmapBegin,     ::BitmapWriteBand,   ::BitmapEnd,
        ::OptionSetCreate, ::OptionSetEscape, ::DefaultStatusProc, ::ImportJobBegin,
        ::ImportJobEnd,    ::PreferencesRun,  ::PathGetDirectory,  ::StrAppendBounded,
    };
    return table;
}

}  // namespace xpmfilter
