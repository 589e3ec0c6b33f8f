/* Loads the installed filter module as a host does and imports one picture:
 * consumer_host IN.xpm prints "WIDTH x HEIGHT" and exits 0, or says what failed. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vrgdi32/vrgdi32.h"
#include "xpmfilter/xpmfilter.h"

typedef uint32_t (*ImportGRProc)(void*, const SourceSpec*, PictureResult*, void*);

int main(int argc, char** argv) {
    void* module = dlopen(XPMFILTER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    void* importGR = module != NULL ? dlsym(module, "ImportGR") : NULL;
    char definitions[64] = "";
    if (importGR != NULL)
        WinshimQueryVersionString(WinshimModuleFromAddress(importGR), "FilterDefinitions",
                                  definitions, sizeof definitions);
    SourceSpec* source = calloc(1, sizeof *source);
    if (argc != 2 || source == NULL || strcmp(definitions, "XPM Format,0,.XPM") != 0) {
        fprintf(stderr, "%s is not the XPM filter (\"%s\") %s\n", XPMFILTER_MODULE_PATH,
                definitions, module == NULL ? dlerror() : "");
        return 1;
    }
    snprintf(source->path, sizeof source->path, "%s", argv[1]);
    PictureResult result = {0};
    uint32_t code = ((ImportGRProc)importGR)(NULL, source, &result, NULL);
    free(source);
    if (code != 0 || GetObjectType(result.picture) != 13) {
        fprintf(stderr, "import failed: %u\n", code);
        return 1;
    }
    printf("%d x %d\n", result.bounds[2] - result.bounds[0], result.bounds[3] - result.bounds[1]);
    DeleteEnhMetaFile(result.picture);
    dlclose(module);
    return 0;
}
