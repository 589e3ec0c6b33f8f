/* libXpm's decode only: XpmReadFileToXpmImage on every file named, then freed. */
#include <stdio.h>
#include <X11/xpm.h>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        XpmImage image;
        XpmInfo info;
        int status = XpmReadFileToXpmImage(argv[i], &image, &info);
        if (status != XpmSuccess) {
            fprintf(stderr, "%s: %s\n", argv[i], XpmGetErrorString(status));
            failed = 1;
            continue;
        }
        XpmFreeXpmImage(&image);
        XpmFreeXpmInfo(&info);
    }
    return failed;
}
