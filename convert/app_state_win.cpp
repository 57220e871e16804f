// The process-wide state declared in app_state.h.
#include "convert/app_state.h"

HINSTANCE InstanceHandle = nullptr;
GetDiskFreeSpaceExAFunction FreeSpaceExFunction = nullptr;
HWND MainWindowHandle = nullptr;
bool CancelRequested = false;

char RememberedFolder[MAX_PATH];
POINT RememberedPosition;
UINT FilterIndex = 1;

HHOOK CentringHookHandle = nullptr;
HFONT BoldTitleFont = nullptr;

ProcessState Process;
