// The production import table on Windows: every operation of vrgdi32.dll found by its
// ordinal (the library exports no names).
#include "output/vrgdi32_binding.h"

namespace xpmfilter {
namespace {

template <typename Procedure>
bool Bind(HMODULE library, int ordinal, Procedure* slot) {
    const FARPROC found = ::GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
    if (found == nullptr) return false;
    *slot = reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(found));
    return true;
}

}  // namespace

bool BindVrgdi32ByOrdinal(HMODULE library, GraphicsLibrary* t) {
#define XPMFILTER_GDI_BY_ORDINAL(name) &&Bind(library, kOrd##name, &t->name)
    return true XPMFILTER_GDI_OPERATIONS(XPMFILTER_GDI_BY_ORDINAL);
#undef XPMFILTER_GDI_BY_ORDINAL
}

}  // namespace xpmfilter
