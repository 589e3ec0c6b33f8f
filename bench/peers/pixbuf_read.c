/* gdk-pixbuf's loader: gdk_pixbuf_new_from_file on every file named, then released. */
#include <stdio.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        GError* error = NULL;
        GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(argv[i], &error);
        if (pixbuf == NULL) {
            fprintf(stderr, "%s: %s\n", argv[i], error != NULL ? error->message : "not read");
            g_clear_error(&error);
            failed = 1;
            continue;
        }
        g_object_unref(pixbuf);
    }
    return failed;
}
