/* A module with no content of its own. The profile tests load a copy of it from a temporary
 * directory, so that "beside the module" is a directory the tests own. */
__attribute__((visibility("default"))) int xf_probe_module_marker(void) {
    return 1;
}
