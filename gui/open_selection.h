// The Open dialog's filter and result, as plain bytes: no window calls here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gui/file_list.h"

// Whether a byte of an ANSI string starts a double-byte character (code page 932 on the
// systems we target; IsDBCSLeadByte on Windows). UTF-8 buffers pass engine::noLeadByte.
using LeadBytePredicate = bool (*)(unsigned char);

// The filter text with every line feed replaced by NUL, followed by NULs so that the
// buffer always ends in two of them, whatever the text ends with.
std::vector<char> openFilterBuffer(const std::string& text);

// Offset of the last byte equal to separator that is a character of its own (not the
// trail byte of a double-byte character), or std::string::npos.
std::size_t lastSeparator(const std::string& path, char separator, LeadBytePredicate isLeadByte);

// folder and name joined by one backslash, or by none when the folder already ends in a
// separator (a root such as "C:\"). A folder without backslashes is searched for '/'.
std::string joinFolderAndName(const std::string& folder, const std::string& name, LeadBytePredicate isLeadByte);

// Whether the Open dialog's file buffer (size bytes) holds a whole result: the first string
// ends inside the buffer and, for several files, so does the empty string after the last
// name. A selection too large for the buffer can come back cut and unterminated while the
// dialog reports success (seen under Wine); it must not be taken for a list of files.
bool openResultComplete(const char* buffer, std::size_t size, std::size_t fileOffset);

// The paths in the Open dialog's file buffer (size bytes; fileOffset is the dialog's
// offset of the first file name). One selected file gives its full path; several give the
// folder joined with each name, in buffer order. Joined paths are kept whole, however long.
// Never reads beyond size bytes.
FileList parseOpenResult(const char* buffer, std::size_t size, std::size_t fileOffset, LeadBytePredicate isLeadByte);
