// Running a set of independent conversions on several threads.
#pragma once

#include <cstddef>
#include <functional>

namespace xpmimport {

// Calls run(i) once for each i in [0, count), on up to `threads` threads (the calling
// thread alone when threads is 1), handing out indexes in order. Once InterruptRequested(),
// no further index is handed out. Returns when every started call has returned.
void RunAll(size_t count, unsigned threads, const std::function<void(size_t)>& run);

}  // namespace xpmimport
