// quorin.exe as a user meets it: started from a fresh folder, driven through its main
// window, the Open dialog, the keyboard and its message boxes; files checked byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"

using namespace e2e;

namespace {

constexpr int kRunningStatusBox = 1000;
constexpr int kOpenButton = 1;
constexpr int kFileNameCombo = 0x47C;  // cmb13 of the Explorer-style Open dialog
constexpr int kMessageText = 0xFFFF;   // the text of a message box

// A format 1 file that uses running status once (the second note-on), a chunk of an
// unknown type that the rewrite drops, a header that declares 3 chunks, and a second
// track whose first delta is written in a non-minimal form (80 00).
const Bytes kMixed = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x03, 0x00, 0x60,
    0x58, 0x59, 0x5A, 0x57, 0x00, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x10,
    0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x08,
    0x80, 0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00,
};
const Bytes kMixedWithRunningStatus = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x60,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x10,
    0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x07,
    0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00,
};
const Bytes kMixedWithoutRunningStatus = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x60,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x11,
    0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x83, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x07,
    0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00,
};

const Bytes kNotMidi = {'R', 'I', 'F', 'F', 0x10, 0x00, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};

std::string artifact(const std::string& name) { return windowsPathOfUnixPath(E2E_ARTIFACT_DIR) + "\\" + name; }

std::string systemText(DWORD code) {
  char text[1024] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), text, sizeof text, nullptr);
  return text;
}

class QuorinE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(QUORIN_EXE).empty()) GTEST_SKIP() << "quorin.exe is not part of this build yet";
  }

  // A fresh folder that outlives the program started in it, so that it can be removed.
  const TempFolder& newFolder(const std::string& name) {
    folders_.push_back(std::make_unique<TempFolder>(name));
    return *folders_.back();
  }

  // Copies the program alone (no settings file, no help page) into `folder` and starts
  // it there with `workingDir` current.
  void startApp(const TempFolder& folder, const std::string& workingDir) {
    ASSERT_TRUE(folder.ok()) << folder.path();
    ASSERT_TRUE(app_.start(windowsPathOfUnixPath(QUORIN_EXE), folder.path(), workingDir)) << app_.error();
  }

  HWND main() const { return app_.mainWindow(); }

  HWND waitForBox(const char* utf8Caption) const {
    return app_.waitForWindow("#32770", ansi(utf8Caption).c_str(), kMessageText);
  }

  // Waits for the Open dialog, types `names` into its file-name field and confirms, as
  // a user would. False when no Open dialog came.
  bool choose(const std::string& names) {
    HWND dialog = app_.waitForWindow("#32770", nullptr, kFileNameCombo);
    if (!dialog) return false;
    setItemText(dialog, kFileNameCombo, names);
    clickButton(dialog, IDOK);
    return true;
  }

  static void expectFileBecomes(const std::string& path, const Bytes& expected) {
    waitUntil([&] { return readFile(path) == expected; });
    EXPECT_EQ(readFile(path), expected) << path;
  }

  std::vector<std::unique_ptr<TempFolder>> folders_;  // declared first: destroyed after app_
  QuorinApp app_;
};

// Driven by the keyboard alone: Escape leaves the window alone, Enter is the Open button,
// Ctrl+R the option, Ctrl+O the Open command, File > Exit ends the program; the settings go
// beside the executable, not into the current folder.
TEST_F(QuorinE2E, FirstSessionByKeyboardConvertsBothWaysAndSavesTheSettingsBesideTheExecutable) {
  // 表 and ソ end in the byte 0x5C in code page 932, the same byte as a backslash.
  const TempFolder& midi = newFolder(ansi("ソ表"));
  const std::string a = ansi("表.mid");
  const std::string b = ansi("ソ.mid");
  ASSERT_TRUE(writeFile(midi.file(a), kMixed));
  ASSERT_TRUE(writeFile(midi.file(b), kMixed));
  const TempFolder& folder = newFolder("first");
  startApp(folder, midi.path());
  EXPECT_EQ(windowText(main()), "Quorin");
  EXPECT_TRUE(isChecked(main(), kRunningStatusBox));
  EXPECT_TRUE(saveScreenshot(main(), artifact("main_window.bmp")));

  pressKey(main(), VK_ESCAPE);
  pressKey(main(), VK_RETURN);
  ASSERT_TRUE(choose(a)) << "Enter did not open the Open dialog";
  expectFileBecomes(midi.file(a), kMixedWithRunningStatus);
  ASSERT_TRUE(app_.waitForIdle());

  pressKey(main(), 'R', {VK_CONTROL});
  ASSERT_TRUE(waitUntil([&] { return !isChecked(main(), kRunningStatusBox); })) << "Ctrl+R did not clear the box";
  pressKey(main(), 'O', {VK_CONTROL});
  ASSERT_TRUE(choose("\"" + b + "\" \"" + a + "\"")) << "Ctrl+O did not open the Open dialog";
  expectFileBecomes(midi.file(a), kMixedWithoutRunningStatus);
  expectFileBecomes(midi.file(b), kMixedWithoutRunningStatus);
  ASSERT_TRUE(app_.waitForIdle());

  pressKey(main(), 'F', {VK_MENU});
  ASSERT_NE(app_.waitForWindow("#32768", nullptr), nullptr) << "Alt+F did not open the File menu";
  pressKey(nullptr, 'X');
  ASSERT_TRUE(app_.waitForEnd()) << "File > Exit did not end the program";
  EXPECT_EQ(app_.exitCode(), 0u);
  const Bytes ini = readFile(folder.file("quorin.ini"));
  EXPECT_EQ(std::string(ini.begin(), ini.end()), "[OPTION]\r\nOpenFileNameDir=" + midi.path() +
                                                     "\r\nUseRunningStatus=0\r\nXPos=0\r\nYPos=0\r\n");
  EXPECT_FALSE(fileExists(midi.file("quorin.ini")));
}

TEST_F(QuorinE2E, FileThatIsNotMidiIsReportedOverTheProgressDialogAndLeftAlone) {
  const TempFolder& folder = newFolder("invalid");
  ASSERT_TRUE(writeFile(folder.file("bad.mid"), kNotMidi));
  startApp(folder, folder.path());
  clickButton(main(), kOpenButton);
  ASSERT_TRUE(choose("bad.mid"));

  HWND box = waitForBox("エラー");
  ASSERT_NE(box, nullptr) << "no error box for a file that is not MIDI";
  EXPECT_EQ(itemText(box, kMessageText),
            "'" + folder.file("bad.mid") + "'\n\n" +
                ansi("このファイルは標準 MIDI ファイルではないか、データが破損しています。"));
  EXPECT_TRUE(saveScreenshot(box, artifact("message_box.bmp")));

  // The progress dialog stands behind the box; move the box aside to photograph it.
  HWND progress = app_.waitForWindow("#32770", ansi("処理中...").c_str());
  ASSERT_NE(progress, nullptr) << "no progress dialog behind the error box";
  RECT rect;
  GetWindowRect(progress, &rect);
  SetWindowPos(box, nullptr, rect.right + 10, rect.bottom + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(500);  // let the uncovered dialog repaint before the picture
  EXPECT_TRUE(saveScreenshot(progress, artifact("progress_dialog.bmp")));
  pressKey(box, VK_RETURN);
  ASSERT_TRUE(app_.waitForIdle());
  EXPECT_EQ(readFile(folder.file("bad.mid")), kNotMidi);
}

// Some platforms (Wine among them) report such a selection as a success with the list
// cut off at the end of the buffer; a cut name may even name another file. Either way
// the user must get the warning and nothing of the selection may be converted.
TEST_F(QuorinE2E, SelectionTooLargeForTheBufferWarnsConvertsNothingAndAsksAgain) {
  const TempFolder& folder = newFolder("many");
  // 250 quoted names of 44 bytes: about 11 KB, more than the 8192 bytes the program offers.
  std::string names;
  for (int i = 0; i < 250; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "a-rather-long-file-name-for-the-buffer-%03d.mid", i);
    ASSERT_TRUE(writeFile(folder.file(name), kMixed));
    names += std::string(names.empty() ? "" : " ") + "\"" + name + "\"";
  }
  ASSERT_TRUE(writeFile(folder.file("a.mid"), kMixed));
  startApp(folder, folder.path());

  clickButton(main(), kOpenButton);
  ASSERT_TRUE(choose(names));
  HWND box = waitForBox("警告");
  EXPECT_EQ(readFile(folder.file("a-rather-long-file-name-for-the-buffer-000.mid")), kMixed)
      << "part of a selection that did not fit was converted";
  ASSERT_NE(box, nullptr) << "no warning for a selection that does not fit";
  EXPECT_EQ(itemText(box, kMessageText),
            ansi("選択されたファイル数が多すぎます。\n選択するファイル数を減らしてください。"));
  pressKey(box, VK_RETURN);

  ASSERT_TRUE(choose("a.mid")) << "the Open dialog did not come back after the warning";
  expectFileBecomes(folder.file("a.mid"), kMixedWithRunningStatus);
  ASSERT_TRUE(app_.waitForIdle());
}

TEST_F(QuorinE2E, F1WithoutTheHelpPageShowsTheSystemTextAndTheAboutBoxNamesTheRunningCopy) {
  const TempFolder& folder = newFolder("help");
  startApp(folder, folder.path());

  pressKey(main(), VK_F1);
  HWND box = waitForBox("エラー");
  ASSERT_NE(box, nullptr) << "F1 without quorin.html showed no error box";
  EXPECT_EQ(GetWindow(box, GW_OWNER), main());
  EXPECT_EQ(itemText(box, kMessageText), systemText(ERROR_FILE_NOT_FOUND));
  pressKey(box, VK_RETURN);
  ASSERT_TRUE(app_.waitForIdle());

  // Help menu (Alt+H), then its version information item (V).
  pressKey(main(), 'H', {VK_MENU});
  ASSERT_NE(app_.waitForWindow("#32768", nullptr), nullptr) << "Alt+H did not open the Help menu";
  pressKey(nullptr, 'V');
  HWND about = app_.waitForWindow("#32770", ansi("バージョン情報").c_str());
  ASSERT_NE(about, nullptr) << "the About box did not open";
  EXPECT_EQ(itemText(about, 134), "Quorin 1.00");
  EXPECT_EQ(itemText(about, 1005), app_.copyPath());
  EXPECT_TRUE(saveScreenshot(about, artifact("about_box.bmp")));
  pressKey(about, VK_ESCAPE);
  EXPECT_TRUE(app_.waitForIdle()) << "Escape did not close the About box";
}

}  // namespace
