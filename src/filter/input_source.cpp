// Opens an import's input as a stream of the graphics library: through the caller's read
// routine, from a locked global memory block, or from the named file.
#include "filter/input_source.h"

#include "output/graphics_library.h"

namespace xpmfilter {

StreamHandle OpenInputStream(InputSource& input, const InputOrigin& origin) {
    input = InputSource{};
    const GraphicsLibrary& gdi = Gdi();
    if (origin.routine != 0) {
        // The routine wins over a path and a memory handle; the path still goes along.
        input.source.source = origin.userData;
        input.source.routine = origin.routine;
        return gdi.StreamOpen(origin.path, &input.source, 0);
    }
    const bool pathEmpty = origin.path[0] == '\0';
    if (origin.memory != nullptr && pathEmpty) {
        input.memory = origin.memory;
        input.lockedAddress = GlobalLock(origin.memory);
        // The library reads the block through this variable until the stream is closed.
        input.source.source =
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&input.lockedAddress));
        input.source.memorySize = static_cast<uint32_t>(GlobalSize(origin.memory));
        return gdi.StreamOpen(nullptr, &input.source, 0);
    }
    return gdi.StreamOpen(origin.path, nullptr, 0);
}

void UnlockInputMemory(InputSource& input) {
    if (input.memory != nullptr && input.lockedAddress != nullptr) GlobalUnlock(input.memory);
}

}  // namespace xpmfilter
