// Entry point of quorin.exe. The command line is not read.
#include <windows.h>

#include "gui/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunQuorin(instance);
}
