// Window calls: there are no windows here, so there is never an active one.
#include "winshim/winshim.h"

extern "C" WINSHIM_API HWND GetActiveWindow(void) {
    return nullptr;
}
