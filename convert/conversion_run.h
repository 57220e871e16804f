// The conversion run: converts every file of a list in place under the modal progress
// dialog (resource 104), owned by MainWindowHandle.
#pragma once

#include "convert/file_list.h"

// Set by the progress dialog's Cancel command, read between files.
extern bool CancelRequested;

// Returns when the list is done or the user confirmed Cancel. files must stay alive and
// unchanged for the call. The option comes from check box 1000 of MainWindowHandle.
void RunConversion(const FileList& files);
