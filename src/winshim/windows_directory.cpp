// GetWindowsDirectoryA and the helpers that place bare file names in that directory.
#include "windows_directory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "winshim/winshim.h"

namespace winshim {

std::string WindowsDirectory() {
    const char* value = std::getenv("WINDIR");
    std::string directory = value != nullptr && value[0] != '\0' ? value : "/etc";
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return directory;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

}  // namespace winshim

// Returns the length without the NUL; when the buffer is too small it stays untouched and
// the result is the size needed including the NUL. 0 when memory runs out.
extern "C" WINSHIM_API UINT GetWindowsDirectoryA(LPSTR out, UINT size) {
    std::string directory;
    try {
        directory = winshim::WindowsDirectory();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const UINT length = static_cast<UINT>(directory.size());
    if (out == nullptr || size <= length) return length + 1;
    std::memcpy(out, directory.c_str(), directory.size() + 1);
    return length;
}
