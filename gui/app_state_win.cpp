// The process-wide state declared in app_state.h.
#include "gui/app_state.h"

HINSTANCE InstanceHandle = nullptr;
HWND MainWindowHandle = nullptr;
bool CancelRequested = false;

char RememberedFolder[MAX_PATH];
POINT RememberedPosition;
UINT FilterIndex = 1;

HHOOK CentringHookHandle = nullptr;
HFONT BoldTitleFont = nullptr;

ProcessState Process;
