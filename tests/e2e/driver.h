// Drives a real quorin.exe from a test program running in the same Wine server:
// starts it in a throw-away folder, finds its windows, reads their texts, presses keys
// and takes screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 (the encoding of our sources) to code page 932, in which quorin.exe's texts
// arrive through the A functions under the Japanese locale.
std::string ansi(const char* utf8);

// Windows form of a Linux path as Wine maps it ("/tmp/x" gives "Z:\tmp\x").
std::string windowsPathOfUnixPath(const std::string& unixPath);

bool fileExists(const std::string& path);
bool writeFile(const std::string& path, const Bytes& bytes);
// The whole file; empty when it cannot be read.
Bytes readFile(const std::string& path);

// Repeats `condition` every 50 ms until it holds. Gives up after a generous safety
// cap (a minute) and returns false, so the caller can fail with its own message.
bool waitUntil(const std::function<bool()>& condition);

// A fresh folder under the Windows temporary folder, removed with its files when the
// object goes away. `name` (code page 932) ends the folder's name.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// Text of a window or control of another process (WM_GETTEXT).
std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);

// Clicks are posted, not sent: a click that opens a modal window would otherwise keep
// us waiting until that window closes.
void clickButton(HWND dialog, int id);
bool isChecked(HWND dialog, int id);
void setItemText(HWND dialog, int id, const std::string& text);

// Real keyboard input (SendInput) to the foreground window, which is first set to
// `target` unless it is null (a menu's loop takes keys from the foreground thread, and
// moving the foreground would close the menu). `modifiers` are held down around `key`.
void pressKey(HWND target, WORD key, std::initializer_list<WORD> modifiers = {});

// Saves the screen area of a window as a 24-bit .bmp file; false when that fails.
bool saveScreenshot(HWND window, const std::string& bmpPath);

// A copy of quorin.exe in a folder of its own, run as a child process that is ended
// when the object goes away.
class QuorinApp {
 public:
  QuorinApp() = default;
  ~QuorinApp();
  QuorinApp(const QuorinApp&) = delete;
  QuorinApp& operator=(const QuorinApp&) = delete;

  // Copies `exePath` into `folder`, starts the copy with `workingDir` current and waits
  // for its main window. False, with the reason in error(), when any step fails.
  bool start(const std::string& exePath, const std::string& folder, const std::string& workingDir);
  HWND mainWindow() const { return main_; }
  const std::string& copyPath() const { return copy_; }
  const std::string& error() const { return error_; }

  // The first visible top-level window of the program with this class and title (a
  // null title matches any) and, unless `item` is 0, a control with that id; waits for
  // it to appear and gives null after the safety cap.
  HWND waitForWindow(const char* cls, const char* title, int item = 0) const;
  // The main window is enabled and no other window of the program is visible.
  bool waitForIdle() const;

  // Closes the main window as the close box would and waits for the process to end.
  // False when it did not end.
  bool close();
  // Waits for the process to end by itself; false when it did not.
  bool waitForEnd() const;
  DWORD exitCode() const;

 private:
  bool running() const;
  std::vector<HWND> visibleWindows() const;

  std::string copy_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  std::string error_;
};

}  // namespace e2e
