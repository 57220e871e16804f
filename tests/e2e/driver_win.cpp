// Win32 side of the end-to-end driver: processes, windows, input, files, screenshots.
#include "driver.h"

#include <cstdio>
#include <utility>

namespace e2e {

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kSafetyCapMs = 60000;  // not a time limit on the program: a hang guard
constexpr UINT kSendTimeoutMs = 10000;

std::string classOf(HWND window) {
  char buffer[256] = {};
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

std::string topLevelTitle(HWND window) {
  char buffer[1024] = {};
  GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

struct WindowsOfProcess {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK collectVisibleWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowsOfProcess*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

// Visible top-level windows of a process, in Z order.
std::vector<HWND> visibleWindowsOf(DWORD pid) {
  WindowsOfProcess search{pid, {}};
  EnumWindows(collectVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Removes a folder and everything in it.
void removeTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

std::string ansi(const char* utf8) {
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), wideLength);
  const int length = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(932, 0, wide.c_str(), -1, out.data(), length, nullptr, nullptr);
  out.resize(out.empty() ? 0 : out.size() - 1);  // drop the converted NUL
  return out;
}

std::string windowsPathOfUnixPath(const std::string& unixPath) {
  std::string out = "Z:";
  for (char c : unixPath) out += (c == '/') ? '\\' : c;
  return out;
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

Bytes readFile(const std::string& path) {
  // Shared access so that a read while the program holds the file does not disturb it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  Bytes bytes(GetFileSize(file, nullptr) == INVALID_FILE_SIZE ? 0 : GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

std::string readTextFile(const std::string& path) {
  const Bytes bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

bool waitUntil(const std::function<bool()>& condition) {
  for (DWORD waited = 0; waited < kSafetyCapMs; waited += kPollMs) {
    if (condition()) return true;
    Sleep(kPollMs);
  }
  return condition();
}

std::string hex(const Bytes& bytes) {
  constexpr size_t kShown = 96;
  std::string out;
  char cell[4];
  for (size_t i = 0; i < bytes.size() && i < kShown; ++i) {
    std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
    if (i) out += ' ';
    out += cell;
  }
  if (bytes.size() > kShown) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

TempFolder::TempFolder(const std::string& name) {
  static unsigned serial = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  std::string base = temp;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  path_ = base + "\\quorin-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) +
          "-" + name;
  removeTree(path_);
  ok_ = CreateDirectoryA(path_.c_str(), nullptr) != 0;
}

TempFolder::~TempFolder() { removeTree(path_); }

std::string TempFolder::file(const std::string& name) const { return path_ + "\\" + name; }

std::string windowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
    return topLevelTitle(window);
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

std::string itemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item ? windowText(item) : std::string();
}

std::string messageBoxText(HWND box) { return itemText(box, 0xFFFF); }

void clickButton(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool isChecked(HWND dialog, int id) {
  DWORD_PTR state = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
  return state == BST_CHECKED;
}

void setItemText(HWND dialog, int id, const std::string& text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
}

void pressKey(HWND target, WORD key, std::initializer_list<WORD> modifiers) {
  if (target) {
    SetForegroundWindow(target);
    waitUntil([target] { return GetForegroundWindow() == target; });
  }
  std::vector<INPUT> inputs;
  auto add = [&inputs](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  for (WORD m : modifiers) add(m, false);
  add(key, false);
  add(key, true);
  for (auto m = modifiers.end(); m != modifiers.begin();) add(*--m, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool saveScreenshot(HWND window, const std::string& bmpPath) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as a .bmp file stores it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  info.biSizeImage = stride * static_cast<DWORD>(height);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + info.biSizeImage;
    Bytes file(header.bfSize);
    memcpy(file.data(), &header, sizeof header);
    memcpy(file.data() + sizeof header, &info, sizeof info);
    memcpy(file.data() + header.bfOffBits, bits, info.biSizeImage);
    ok = writeFile(bmpPath, file);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

QuorinApp::QuorinApp(const std::string& exePath, const std::string& folder) : folder_(folder) {
  copied_ = CopyFileA(exePath.c_str(), this->exePath().c_str(), FALSE) != 0;
}

QuorinApp::~QuorinApp() {
  if (running()) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, kSafetyCapMs);
  }
  if (process_.hProcess) CloseHandle(process_.hProcess);
  if (process_.hThread) CloseHandle(process_.hThread);
}

bool QuorinApp::start(const std::string& workingDir) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + exePath() + "\"";
  if (!CreateProcessA(exePath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.c_str(), &startup, &process_)) {
    error_ = "CreateProcess failed with error " + std::to_string(GetLastError());
    return false;
  }
  waitUntil([this] {
    main_ = findWindow("QuorinWnd", nullptr);
    return main_ != nullptr || !running();
  });
  if (!main_) error_ = running() ? "no visible main window (class QuorinWnd) appeared" : "quorin.exe ended at start";
  return main_ != nullptr;
}

HWND QuorinApp::findWindow(const char* cls, const char* title) const {
  for (HWND window : visibleWindowsOf(process_.dwProcessId)) {
    if (cls && classOf(window) != cls) continue;
    if (title && topLevelTitle(window) != title) continue;
    return window;
  }
  return nullptr;
}

HWND QuorinApp::waitForWindow(const char* cls, const char* title) const {
  HWND found = nullptr;
  waitUntil([&] { return (found = findWindow(cls, title)) != nullptr; });
  return found;
}

std::string QuorinApp::describeWindows() const {
  std::string out;
  for (HWND window : visibleWindowsOf(process_.dwProcessId)) {
    out += "  " + classOf(window) + " '" + topLevelTitle(window) + "'";
    if (GetDlgItem(window, 0xFFFF)) out += " text '" + messageBoxText(window) + "'";
    if (window == main_) out += IsWindowEnabled(window) ? " (main, enabled)" : " (main, disabled)";
    out += "\n";
  }
  return out.empty() ? "  (no visible window)\n" : out;
}

bool QuorinApp::idle() const {
  if (!main_ || !IsWindowEnabled(main_)) return false;
  for (HWND window : visibleWindowsOf(process_.dwProcessId)) {
    if (window != main_) return false;
  }
  return true;
}

bool QuorinApp::close() {
  if (!running()) return true;
  PostMessageA(main_, WM_CLOSE, 0, 0);
  return WaitForSingleObject(process_.hProcess, kSafetyCapMs) == WAIT_OBJECT_0;
}

bool QuorinApp::running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD QuorinApp::exitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_.hProcess) GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

}  // namespace e2e
