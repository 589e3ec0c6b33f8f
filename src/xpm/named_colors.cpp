// Lookup in the colour-name table: a plain linear scan, the table is small and read rarely
// (once per colour definition that names its colour).
#include "xpm/named_colors.h"

#include "ascii_text.h"

namespace xpmfilter {

int32_t LookupNamedColor(const NamedColor* table, int32_t count, const char* name, RgbTriple& rgb) {
    for (int32_t i = 0; i < count; ++i) {
        if (!ascii::EqualIgnoringCase(table[i].name, name)) continue;
        rgb = RgbTriple{table[i].red, table[i].green, table[i].blue};
        return 0;
    }
    return -1;
}

}  // namespace xpmfilter
