// The cause of this thread's last failed input read (see read_failure.h).
#include "streams/read_failure.h"

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {
namespace {

// Imports run on their caller's thread: each thread follows its own. Initial-exec: this
// library arrives with the module, by dlopen, and a dynamic thread-local block is what
// LeakSanitizer's tracer cannot follow.
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((tls_model("initial-exec")))
#endif
thread_local int32_t t_reason = 0;

}  // namespace

void NoteReadFailure(int32_t reason) {
    if (t_reason == 0) t_reason = reason;
}

void ClearReadFailure() {
    t_reason = 0;
}

int32_t RecordedReadFailure() {
    return t_reason;
}

}  // namespace vrgdi32

extern "C" VRGDI32_API int32_t StreamReadFailure(void) {
    return vrgdi32::RecordedReadFailure();
}
