// The process-wide handles declared in app_state.h.
#include "convert/app_state.h"

HINSTANCE InstanceHandle = nullptr;
HWND MainWindowHandle = nullptr;
