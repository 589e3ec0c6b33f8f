// A shared counter hands out the work; each thread takes the next index until none is left.
#include "xpmimport/command/batch_runner.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "xpmimport/output/interrupt.h"

namespace xpmimport {

void RunAll(size_t count, unsigned threads, const std::function<void(size_t)>& run) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (;;) {
            if (InterruptRequested()) return;
            size_t index = next.fetch_add(1);
            if (index >= count) return;
            run(index);
        }
    };
    size_t helpers = std::min<size_t>(threads, count);
    if (helpers <= 1) {
        work();
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    for (size_t i = 0; i < helpers; ++i) pool.emplace_back(work);
    for (std::thread& thread : pool) thread.join();
}

}  // namespace xpmimport
