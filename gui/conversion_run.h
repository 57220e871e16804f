// The conversion run: converts every file of a list in place under the modal progress
// dialog (resource 104), owned by MainWindowHandle. CancelRequested is in app_state.h.
#pragma once

#include "gui/file_list.h"

namespace engine {
class FileSystem;
}

// Returns when the list is done or the user confirmed Cancel. files must stay alive and
// unchanged for the call. The option comes from check box 1000 of MainWindowHandle. Every
// file's failure is reported in a box, running out of memory included (text 170), and
// the run goes on with the next file; only the free-space reports end it early.
void RunConversion(const FileList& files);

// Test seam: the file system of later runs; null (the program's) is the Win32 one.
void SetRunFileSystem(engine::FileSystem* fileSystem);
