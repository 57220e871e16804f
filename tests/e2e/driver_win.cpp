// Win32 side of the end-to-end driver: processes, windows, input, files, screenshots.
#include "driver.h"

#include <cstring>
#include <utility>

namespace e2e {

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kSafetyCapMs = 60000;  // not a time limit on the program: a hang guard
constexpr UINT kSendTimeoutMs = 10000;

BOOL CALLBACK collectVisibleWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->first && IsWindowVisible(window)) search->second.push_back(window);
  return TRUE;
}

}  // namespace

std::string ansi(const char* utf8) {
  wchar_t wide[1024] = {};
  char out[2048] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
  WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

std::string windowsPathOfUnixPath(const std::string& unixPath) {
  std::string out = "Z:";
  for (char c : unixPath) out += (c == '/') ? '\\' : c;
  return out;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool writeFile(const std::string& path, const Bytes& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

Bytes readFile(const std::string& path) {
  // Shared access so that a read while the program holds the file does not disturb it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const DWORD size = GetFileSize(file, nullptr);
  Bytes bytes(size == INVALID_FILE_SIZE ? 0 : size);
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file, bytes.data(), size, &read, nullptr)) read = 0;
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

bool waitUntil(const std::function<bool()>& condition) {
  for (DWORD waited = 0; waited < kSafetyCapMs; waited += kPollMs) {
    if (condition()) return true;
    Sleep(kPollMs);
  }
  return condition();
}

TempFolder::TempFolder(const std::string& name) {
  static unsigned serial = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);  // ends in a backslash
  path_ = std::string(temp) + "quorin-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++serial) + "-" + name;
  ok_ = CreateDirectoryA(path_.c_str(), nullptr) != 0;
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(file("*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do DeleteFileA(file(entry.cFileName).c_str());  // fails harmlessly on "." and ".."
    while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path_.c_str());
}

std::string windowText(HWND window) {
  char text[4096] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &ignored);
  return text;
}

std::string itemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item ? windowText(item) : std::string();
}

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
  if (!GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) return false;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = rect.right - rect.left;
  info.biHeight = rect.bottom - rect.top;  // bottom-up, as a .bmp file stores it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = ((static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u) * static_cast<DWORD>(info.biHeight);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + info.biSizeImage;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    Bytes file(header.bfSize);
    std::memcpy(file.data(), &header, sizeof header);
    std::memcpy(file.data() + sizeof header, &info, sizeof info);
    std::memcpy(file.data() + header.bfOffBits, bits, info.biSizeImage);
    ok = writeFile(bmpPath, file);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

QuorinApp::~QuorinApp() {
  if (running()) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, kSafetyCapMs);
  }
  if (process_.hProcess) CloseHandle(process_.hProcess);
  if (process_.hThread) CloseHandle(process_.hThread);
}

bool QuorinApp::start(const std::string& exePath, const std::string& folder, const std::string& workingDir) {
  copy_ = folder + "\\quorin.exe";
  if (!CopyFileA(exePath.c_str(), copy_.c_str(), FALSE)) {
    error_ = "cannot copy " + exePath + " to " + copy_;
    return false;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + copy_ + "\"";
  if (!CreateProcessA(copy_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDir.c_str(),
                      &startup, &process_)) {
    error_ = "CreateProcess failed with error " + std::to_string(GetLastError());
    return false;
  }
  main_ = waitForWindow("QuorinWnd", nullptr);
  if (!main_) error_ = running() ? "no visible main window (class QuorinWnd) appeared" : "quorin.exe ended at start";
  return main_ != nullptr;
}

std::vector<HWND> QuorinApp::visibleWindows() const {
  std::pair<DWORD, std::vector<HWND>> search{process_.dwProcessId, {}};
  EnumWindows(collectVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

HWND QuorinApp::waitForWindow(const char* cls, const char* title, int item) const {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND window : visibleWindows()) {
      char windowClass[64] = {};
      char windowTitle[1024] = {};
      GetClassNameA(window, windowClass, sizeof windowClass);
      GetWindowTextA(window, windowTitle, sizeof windowTitle);
      if (std::strcmp(windowClass, cls) == 0 && (!title || std::strcmp(windowTitle, title) == 0) &&
          (!item || GetDlgItem(window, item))) {
        found = window;
        return true;
      }
    }
    return false;
  });
  return found;
}

bool QuorinApp::waitForIdle() const {
  return waitUntil([this] {
    const std::vector<HWND> windows = visibleWindows();
    return IsWindowEnabled(main_) && windows.size() == 1 && windows[0] == main_;
  });
}

bool QuorinApp::close() {
  if (!running()) return true;
  PostMessageA(main_, WM_CLOSE, 0, 0);
  return WaitForSingleObject(process_.hProcess, kSafetyCapMs) == WAIT_OBJECT_0;
}

bool QuorinApp::waitForEnd() const { return WaitForSingleObject(process_.hProcess, kSafetyCapMs) == WAIT_OBJECT_0; }

bool QuorinApp::running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD QuorinApp::exitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

}  // namespace e2e
