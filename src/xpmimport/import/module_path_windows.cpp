// Finding the filter module beside the executable, where the Windows build puts both.
#include "xpmimport/import/module_path.h"

#include <cstdlib>
#include <string>

#include "winshim/winshim.h"

namespace xpmimport {

std::string DefaultFilterPath() {
    if (const char* named = std::getenv("XPMFILTER_MODULE"); named != nullptr && named[0] != '\0')
        return named;
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory(path, length < sizeof path ? length : 0);
    const size_t separator = directory.find_last_of("/\\");
    directory = separator == std::string::npos ? "." : directory.substr(0, separator);
    return directory + "\\xpmfilter.dll";
}

}  // namespace xpmimport
