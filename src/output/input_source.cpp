// Opens an import's input as a stream of the graphics library: through the caller's read
// routine, from a locked global memory block, or from the named file.
#include "output/input_source.h"

#include "output/graphics_library.h"

namespace xpmfilter {

StreamHandle OpenInputStream(InputSource& input, const char* path, uint64_t routine,
                             uint64_t userData, HGLOBAL memory) {
    input = InputSource{};
    const GraphicsLibrary& gdi = Gdi();
    if (routine != 0) {
        // The routine wins over a path and a memory handle; the path still goes along.
        input.source.source = userData;
        input.source.routine = routine;
        return gdi.StreamOpen(path, &input.source, 0);
    }
    const bool pathEmpty = path == nullptr || path[0] == '\0';
    if (memory != nullptr && pathEmpty) {
        input.memory = memory;
        input.lockedAddress = GlobalLock(memory);
        // The library reads the block through this variable until the stream is closed.
        input.source.source =
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&input.lockedAddress));
        input.source.memorySize = static_cast<uint32_t>(GlobalSize(memory));
        return gdi.StreamOpen(nullptr, &input.source, 0);
    }
    return gdi.StreamOpen(path, nullptr, 0);
}

void UnlockInputMemory(InputSource& input) {
    if (input.memory != nullptr && input.lockedAddress != nullptr) GlobalUnlock(input.memory);
    input.memory = nullptr;
    input.lockedAddress = nullptr;
}

}  // namespace xpmfilter
