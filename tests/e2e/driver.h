// Drives a real quorin.exe from a test program running in the same Wine server:
// starts it in a throw-away folder, finds its windows, reads their texts, types into
// them, presses keys and takes screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 (the encoding of our sources) to the ANSI code page, 932 under the Japanese
// locale. Texts of quorin.exe arrive through the A functions in that code page.
std::string ansi(const char* utf8);

// Windows form of a Linux path as Wine maps it ("/tmp/x" gives "Z:\tmp\x").
std::string windowsPathOfUnixPath(const std::string& unixPath);

bool fileExists(const std::string& path);
bool writeFile(const std::string& path, const Bytes& bytes);
// The whole file; empty when it cannot be read.
Bytes readFile(const std::string& path);
// Text of a file as bytes, for settings files.
std::string readTextFile(const std::string& path);

// Repeats `condition` every 50 ms until it holds. Gives up after a generous safety
// cap (a minute) and returns false, so the caller can fail with its own message.
bool waitUntil(const std::function<bool()>& condition);

// Hex dump "4D 54 68 64 ..." of the first 96 bytes, and the size when there are more,
// for failure messages.
std::string hex(const Bytes& bytes);

// A fresh folder under the Windows temporary folder, removed with its contents when
// the object goes away.
class TempFolder {
 public:
  // `name` becomes part of the folder's name; it may contain double-byte characters
  // (code page 932).
  explicit TempFolder(const std::string& name);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() + "\" + name
  std::string file(const std::string& name) const;
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// Text of a window (GetWindowTextA, or WM_GETTEXT across processes).
std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);
// The text of a message box: its static control with id 0xFFFF.
std::string messageBoxText(HWND box);

// Buttons and check boxes. Clicks are posted, not sent: a click that opens a modal
// window would otherwise keep us waiting until that window closes.
void clickButton(HWND dialog, int id);
bool isChecked(HWND dialog, int id);
void setItemText(HWND dialog, int id, const std::string& text);

// Real keyboard input (SendInput) to the foreground window, which is first set to
// `target` unless it is null (a menu's loop takes keys from the foreground thread,
// and moving the foreground would close the menu). `modifiers` are virtual keys held down around `key` (e.g. VK_CONTROL).
void pressKey(HWND target, WORD key, std::initializer_list<WORD> modifiers = {});

// Saves the screen area of a window as a 24-bit .bmp file. Returns false when the
// capture or the write fails.
bool saveScreenshot(HWND window, const std::string& bmpPath);

// A copy of quorin.exe in a folder of its own, started and watched as a child process.
class QuorinApp {
 public:
  // Copies `exePath` into `folder`.
  QuorinApp(const std::string& exePath, const std::string& folder);
  ~QuorinApp();  // ends a process that is still running
  QuorinApp(const QuorinApp&) = delete;
  QuorinApp& operator=(const QuorinApp&) = delete;

  std::string exePath() const { return folder_ + "\\quorin.exe"; }
  std::string iniPath() const { return folder_ + "\\quorin.ini"; }
  bool copied() const { return copied_; }

  // Starts the program with `workingDir` as its current directory and waits for
  // its main window. False (and a reason in error()) when either fails.
  bool start(const std::string& workingDir);
  HWND mainWindow() const { return main_; }
  const std::string& error() const { return error_; }

  // A visible top-level window of the program with this class and title (either may
  // be null to match any), or null.
  HWND findWindow(const char* cls, const char* title) const;
  // The same, waiting for it to appear; null after the safety cap.
  HWND waitForWindow(const char* cls, const char* title) const;
  // The visible windows of the program, one per line (class, title, message-box
  // text), for failure messages.
  std::string describeWindows() const;
  // True when the main window is enabled and no other window of the program is
  // visible: nothing modal is open.
  bool idle() const;
  bool waitForIdle() const { return waitUntil([this] { return idle(); }); }

  // Closes the main window as the close box would and waits for the process to end.
  // False when it did not end; exitCode() is then meaningless.
  bool close();
  bool running() const;
  DWORD exitCode() const;

 private:
  std::string folder_;
  bool copied_ = false;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::string error_;
};

}  // namespace e2e
