// GetTempPathA, and the directory it names for libwinshim's own temporary files.
#include "temporary_directory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "winshim/winshim.h"

namespace winshim {

std::string TemporaryDirectory() {
    const char* value = std::getenv("TMPDIR");
    std::string directory = value != nullptr && value[0] == '/' ? value : "/tmp";
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory.back() != '/') directory += '/';
    return directory;
}

}  // namespace winshim

// Returns the length without the NUL; when the buffer is too small it stays untouched and
// the result is the size needed including the NUL. 0 when memory runs out. Unlike Windows,
// a path longer than MAX_PATH is given whole.
extern "C" WINSHIM_API DWORD GetTempPathA(DWORD size, LPSTR out) {
    std::string directory;
    try {
        directory = winshim::TemporaryDirectory();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const auto length = static_cast<DWORD>(directory.size());
    if (out == nullptr || size <= length) return length + 1;
    std::memcpy(out, directory.c_str(), directory.size() + 1);
    return length;
}
