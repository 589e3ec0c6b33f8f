// What the module does at load and unload on POSIX, as the Windows entry point does: store
// the instance handle, register the module's resources and bind the graphics library.
#include "resources/module_instance.h"
#include "output/vrgdi32_binding.h"
#include "resources/resource_ids.h"

namespace xpmfilter {
namespace {

__attribute__((constructor)) void AttachModule() {
    HMODULE self = WinshimModuleFromAddress(reinterpret_cast<const void*>(&AttachModule));
    SetModuleInstance(self);
    WinshimRegisterModuleResources(self, &ModuleResources());
    BindGraphicsLibrary(&Vrgdi32Library());
}

__attribute__((destructor)) void DetachModule() {
    WinshimUnregisterModuleResources(ModuleInstance());
}

}  // namespace
}  // namespace xpmfilter
