// The DLL entry point: stores the instance handle (which serves the DLL's own string and
// version resources) and binds the graphics library by ordinal.
#include "output/vrgdi32_binding.h"
#include "resources/module_instance.h"

namespace xpmfilter {
namespace {

GraphicsLibrary g_table{};

// vrgdi32.dll is in this DLL's import table (this one reference puts it there), so the
// loader has loaded and initialised it before the entry point runs; the entry point itself
// must not load libraries. Its module is found from the address of one of its operations.
HMODULE GraphicsLibraryModule() {
    HMODULE module = nullptr;
    const auto address = reinterpret_cast<LPCSTR>(&::StreamOpen);
    if (!::GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            address, &module)) {
        return nullptr;
    }
    return module;
}

}  // namespace
}  // namespace xpmfilter

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    using namespace xpmfilter;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    ::DisableThreadLibraryCalls(instance);
    SetModuleInstance(instance);
    const HMODULE library = GraphicsLibraryModule();
    // Refusing to load is the only way to say that the library is not the right one.
    if (library == nullptr || !BindVrgdi32ByOrdinal(library, &g_table)) return FALSE;
    BindGraphicsLibrary(&g_table);
    return TRUE;
}
