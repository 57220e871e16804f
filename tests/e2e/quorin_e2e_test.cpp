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
constexpr int kFileNameEdit = 0x480;   // edt1 of older templates

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

// A format 0 file with every status byte written out, behind a 128-byte MacBinary
// header of zeros.
Bytes macBinaryPlain() {
  Bytes file(128, 0x00);
  const Bytes smf = {
      0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,
      0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0C,
      0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00,
  };
  file.insert(file.end(), smf.begin(), smf.end());
  return file;
}
const Bytes kPlainWithRunningStatus = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0B,
    0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00,
};
const Bytes kPlainWithoutRunningStatus = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,
    0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0C,
    0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64, 0x60, 0xFF, 0x2F, 0x00,
};

const Bytes kNotMidi = {'R', 'I', 'F', 'F', 0x10, 0x00, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};

std::string artifact(const std::string& name) {
  return windowsPathOfUnixPath(E2E_ARTIFACT_DIR) + "\\" + name;
}

// The settings file's non-empty lines, in order.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

std::string systemText(DWORD code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = text ? text : "";
  LocalFree(text);
  return out;
}

class QuorinE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = QUORIN_EXE;
    if (built.empty()) GTEST_SKIP() << "quorin.exe is not part of this build yet";
    exe_ = windowsPathOfUnixPath(built);
    ASSERT_TRUE(fileExists(exe_)) << "built executable missing: " << exe_;
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
    app_ = std::make_unique<QuorinApp>(exe_, folder.path());
    ASSERT_TRUE(app_->copied());
    ASSERT_TRUE(app_->start(workingDir)) << app_->error();
  }

  HWND main() const { return app_->mainWindow(); }

  // The Open dialog that the main window owns, once it is up.
  HWND waitForOpenDialog() {
    HWND dialog = nullptr;
    waitUntil([&] {
      dialog = app_->findWindow("#32770", nullptr);
      return dialog && GetWindow(dialog, GW_OWNER) == main() && GetDlgItem(dialog, IDOK) &&
             (GetDlgItem(dialog, kFileNameCombo) || GetDlgItem(dialog, kFileNameEdit));
    });
    return dialog;
  }

  // Types `names` into the Open dialog's file-name field and confirms, as a user would.
  void chooseInOpenDialog(HWND dialog, const std::string& names) {
    const int field = GetDlgItem(dialog, kFileNameCombo) ? kFileNameCombo : kFileNameEdit;
    setItemText(dialog, field, names);
    ASSERT_EQ(itemText(dialog, field), names);
    clickButton(dialog, IDOK);
  }

  // Waits for a file to reach the expected bytes; fails with both dumps when it does not.
  void expectFileBecomes(const std::string& path, const Bytes& expected) {
    Bytes actual;
    const bool reached = waitUntil([&] { return (actual = readFile(path)) == expected; });
    EXPECT_TRUE(reached) << path << "\n  expected: " << hex(expected) << "\n  actual:   " << hex(actual);
  }

  // A file that must not have changed, with both dumps when it has.
  static void expectFileIs(const std::string& path, const Bytes& expected, const char* why) {
    const Bytes actual = readFile(path);
    EXPECT_TRUE(actual == expected) << why << ": " << path << "\n  expected: " << hex(expected)
                                    << "\n  actual:   " << hex(actual);
  }

  // Waits for a message box of the program with this caption.
  HWND waitForBox(const std::string& caption) { return app_->waitForWindow("#32770", caption.c_str()); }

  std::string exe_;
  std::vector<std::unique_ptr<TempFolder>> folders_;  // declared first: destroyed after app_
  std::unique_ptr<QuorinApp> app_;
};

TEST_F(QuorinE2E, FirstStartUsesDefaultsAndSavesThemBesideTheExecutable) {
  const TempFolder& folder = newFolder("first");
  const TempFolder& startDir = newFolder("start");
  startApp(folder, startDir.path());
  ASSERT_FALSE(fileExists(app_->iniPath()));

  RECT rect;
  ASSERT_TRUE(GetWindowRect(main(), &rect));
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(windowText(main()), "Quorin");
  EXPECT_TRUE(isChecked(main(), kRunningStatusBox));
  EXPECT_EQ(itemText(main(), kRunningStatusBox), ansi("ランニング ステータスの有効化(&R)"));
  EXPECT_EQ(itemText(main(), kOpenButton), ansi("ファイルを開く(&O)..."));
  EXPECT_TRUE(saveScreenshot(main(), artifact("main_window.bmp")));

  ASSERT_TRUE(app_->close());
  EXPECT_EQ(app_->exitCode(), 0u);
  const std::vector<std::string> expected = {
      "[OPTION]", "OpenFileNameDir=" + startDir.path(), "UseRunningStatus=1", "XPos=0", "YPos=0"};
  EXPECT_EQ(lines(readTextFile(app_->iniPath())), expected);
  EXPECT_FALSE(fileExists(startDir.file("quorin.ini")));
}

TEST_F(QuorinE2E, StoredSettingsAreAppliedAndWrittenBackWithOtherLinesKept) {
  const TempFolder& folder = newFolder("settings");
  const TempFolder& midi = newFolder("remembered");
  ASSERT_TRUE(writeFile(midi.file("b.mid"), macBinaryPlain()));
  const std::string ini = "[User]\r\nNote=kept\r\n[OPTION]\r\nOpenFileNameDir=" + midi.path() +
                          "\r\nUseRunningStatus=0\r\nXPos=120\r\nYPos=-8\r\n";
  ASSERT_TRUE(writeFile(folder.file("quorin.ini"), Bytes(ini.begin(), ini.end())));
  startApp(folder, folder.path());

  RECT rect;
  ASSERT_TRUE(GetWindowRect(main(), &rect));
  EXPECT_EQ(rect.left, 120);
  EXPECT_EQ(rect.top, -8);
  EXPECT_FALSE(isChecked(main(), kRunningStatusBox));

  // Escape must not end the program: the Ctrl+R behind it still reaches a live window
  // and sets the option. Ctrl+O then opens the Open dialog in the remembered folder, so
  // a bare file name finds the file there.
  pressKey(main(), VK_ESCAPE);
  pressKey(main(), 'R', {VK_CONTROL});
  EXPECT_TRUE(waitUntil([&] { return isChecked(main(), kRunningStatusBox); })) << "Ctrl+R did not set the box";
  ASSERT_TRUE(app_->running()) << "Escape ended the program";
  pressKey(main(), 'O', {VK_CONTROL});
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr) << "Ctrl+O did not open the Open dialog";
  chooseInOpenDialog(dialog, "b.mid");
  expectFileBecomes(midi.file("b.mid"), kPlainWithRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());

  ASSERT_TRUE(app_->close());
  const std::vector<std::string> expected = {
      "[User]", "Note=kept", "[OPTION]", "OpenFileNameDir=" + midi.path(), "UseRunningStatus=1", "XPos=120",
      "YPos=-8"};
  EXPECT_EQ(lines(readTextFile(app_->iniPath())), expected);
}

TEST_F(QuorinE2E, ConvertsChosenFilesAndRestoresStatusBytesWhenTheBoxIsCleared) {
  const TempFolder& folder = newFolder("convert");
  ASSERT_TRUE(writeFile(folder.file("a.mid"), kMixed));
  ASSERT_TRUE(writeFile(folder.file("b.mid"), macBinaryPlain()));
  startApp(folder, folder.path());

  // With the box set (the default), through the button.
  clickButton(main(), kOpenButton);
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr) << "the button did not open the Open dialog";
  chooseInOpenDialog(dialog, "\"a.mid\" \"b.mid\"");
  expectFileBecomes(folder.file("a.mid"), kMixedWithRunningStatus);
  expectFileBecomes(folder.file("b.mid"), kPlainWithRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());

  // Cleared by a click, through Ctrl+O: every status byte comes back.
  clickButton(main(), kRunningStatusBox);
  ASSERT_TRUE(waitUntil([&] { return !isChecked(main(), kRunningStatusBox); }));
  pressKey(main(), 'O', {VK_CONTROL});
  dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr) << "Ctrl+O did not open the Open dialog";
  chooseInOpenDialog(dialog, "\"b.mid\" \"a.mid\"");
  expectFileBecomes(folder.file("a.mid"), kMixedWithoutRunningStatus);
  expectFileBecomes(folder.file("b.mid"), kPlainWithoutRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());

  ASSERT_TRUE(app_->close());
  EXPECT_NE(readTextFile(app_->iniPath()).find("UseRunningStatus=0"), std::string::npos);
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
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr);
  chooseInOpenDialog(dialog, names);
  HWND box = waitForBox(ansi("警告"));
  expectFileIs(folder.file("a-rather-long-file-name-for-the-buffer-000.mid"), kMixed,
               "part of a selection that did not fit was converted");
  ASSERT_NE(box, nullptr) << "no warning for a selection that does not fit; windows:\n" << app_->describeWindows();
  EXPECT_EQ(messageBoxText(box),
            ansi("選択されたファイル数が多すぎます。\n選択するファイル数を減らしてください。"));
  pressKey(box, VK_RETURN);

  dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr) << "the Open dialog did not come back after the warning";
  chooseInOpenDialog(dialog, "a.mid");
  expectFileBecomes(folder.file("a.mid"), kMixedWithRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());
}

TEST_F(QuorinE2E, LargeFileIsRewrittenWhole) {
  // 500,000 note-ons with their status bytes (2 MB) lose all but the first status.
  constexpr std::uint32_t kNotes = 500000;
  auto build = [](std::initializer_list<std::uint8_t> first, std::initializer_list<std::uint8_t> rest) {
    const std::uint32_t length = static_cast<std::uint32_t>(first.size() + rest.size() * (kNotes - 1) + 4);
    Bytes file = {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x60,
                  0x4D, 0x54, 0x72, 0x6B,
                  static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                  static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    file.insert(file.end(), first);
    for (std::uint32_t i = 1; i < kNotes; ++i) file.insert(file.end(), rest);
    file.insert(file.end(), {0x00, 0xFF, 0x2F, 0x00});
    return file;
  };
  const Bytes input = build({0x00, 0x90, 0x3C, 0x64}, {0x00, 0x90, 0x3C, 0x64});
  const Bytes expected = build({0x00, 0x90, 0x3C, 0x64}, {0x00, 0x3C, 0x64});

  const TempFolder& folder = newFolder("large");
  ASSERT_TRUE(writeFile(folder.file("large.mid"), input));
  startApp(folder, folder.path());
  clickButton(main(), kOpenButton);
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr);
  chooseInOpenDialog(dialog, "large.mid");
  expectFileBecomes(folder.file("large.mid"), expected);
  ASSERT_TRUE(app_->waitForIdle());
}

TEST_F(QuorinE2E, DoubleByteFolderAndFileNamesAreJoinedWithoutLosingTheSeparator) {
  // 表 and ソ end in the byte 0x5C in code page 932, the same byte as a backslash.
  const TempFolder& folder = newFolder(ansi("ソ表"));
  const std::string name1 = ansi("表.mid");
  const std::string name2 = ansi("ソ.mid");
  ASSERT_TRUE(writeFile(folder.file(name1), kMixed));
  ASSERT_TRUE(writeFile(folder.file(name2), macBinaryPlain()));
  startApp(folder, folder.path());

  pressKey(main(), VK_RETURN);
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr) << "Enter did not open the Open dialog";
  chooseInOpenDialog(dialog, "\"" + name1 + "\" \"" + name2 + "\"");
  expectFileBecomes(folder.file(name1), kMixedWithRunningStatus);
  expectFileBecomes(folder.file(name2), kPlainWithRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());
}

TEST_F(QuorinE2E, FilesThatCannotBeConvertedAreReportedAndLeftAloneWhileTheRunGoesOn) {
  const TempFolder& folder = newFolder("invalid");
  ASSERT_TRUE(writeFile(folder.file("bad.mid"), kNotMidi));
  ASSERT_TRUE(writeFile(folder.file("busy.mid"), kMixed));
  ASSERT_TRUE(writeFile(folder.file("good.mid"), kMixed));
  // Another program holds busy.mid open without sharing until the run is over.
  struct Holder {
    HANDLE file;
    void release() {
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      file = INVALID_HANDLE_VALUE;
    }
    ~Holder() { release(); }
  } busy{CreateFileA(folder.file("busy.mid").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr)};
  ASSERT_NE(busy.file, INVALID_HANDLE_VALUE);
  startApp(folder, folder.path());

  clickButton(main(), kOpenButton);
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr);
  chooseInOpenDialog(dialog, "\"bad.mid\" \"busy.mid\" \"good.mid\"");

  HWND box = waitForBox(ansi("エラー"));
  ASSERT_NE(box, nullptr) << "no error box for a file that is not MIDI";
  EXPECT_EQ(messageBoxText(box), "'" + folder.file("bad.mid") + "'\n\n" +
                                     ansi("このファイルは標準 MIDI ファイルではないか、データが破損しています。"));
  EXPECT_TRUE(saveScreenshot(box, artifact("message_box.bmp")));

  // The progress dialog stands behind the box; move the box aside to photograph it.
  HWND progress = app_->findWindow("#32770", ansi("処理中...").c_str());
  ASSERT_NE(progress, nullptr) << "no progress dialog behind the error box";
  EXPECT_EQ(GetWindow(box, GW_OWNER), progress);
  EXPECT_EQ(itemText(progress, 1003), "bad.mid");
  RECT progressRect;
  GetWindowRect(progress, &progressRect);
  SetWindowPos(box, nullptr, progressRect.right + 10, progressRect.bottom + 10, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(500);  // let the uncovered dialog repaint before the picture
  EXPECT_TRUE(saveScreenshot(progress, artifact("progress_dialog.bmp")));
  pressKey(box, VK_RETURN);

  // The busy file: the open failure with the system's reason on a line of its own.
  ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); })) << "Enter did not close the error box";
  box = waitForBox(ansi("エラー"));
  ASSERT_NE(box, nullptr) << "no error box for a file held open by another program";
  EXPECT_EQ(messageBoxText(box), "'" + folder.file("busy.mid") + "'\n\n" +
                                     ansi("このファイルを開くことができませんでした。") + "\n" +
                                     systemText(ERROR_SHARING_VIOLATION));
  pressKey(box, VK_RETURN);

  expectFileBecomes(folder.file("good.mid"), kMixedWithRunningStatus);
  ASSERT_TRUE(app_->waitForIdle());
  busy.release();
  expectFileIs(folder.file("bad.mid"), kNotMidi, "a file that is not MIDI was changed");
  expectFileIs(folder.file("busy.mid"), kMixed, "a file held by another program was changed");
}

TEST_F(QuorinE2E, CancelAsksFirstThenNoGoesOnAndYesLeavesTheRestUntouched) {
  const TempFolder& folder = newFolder("cancel");
  ASSERT_TRUE(writeFile(folder.file("bad1.mid"), kNotMidi));
  ASSERT_TRUE(writeFile(folder.file("bad2.mid"), kNotMidi));
  ASSERT_TRUE(writeFile(folder.file("a.mid"), kMixed));
  startApp(folder, folder.path());

  clickButton(main(), kOpenButton);
  HWND dialog = waitForOpenDialog();
  ASSERT_NE(dialog, nullptr);
  chooseInOpenDialog(dialog, "\"bad1.mid\" \"bad2.mid\" \"a.mid\"");

  const std::string question = ansi("処理を中止してもよろしいですか?");
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDNO ? "answer No" : "answer Yes");
    // An error box holds the run; a Cancel click queued meanwhile is acted on before
    // the next file.
    HWND box = waitForBox(ansi("エラー"));
    ASSERT_NE(box, nullptr);
    HWND progress = GetWindow(box, GW_OWNER);
    PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(progress, IDCANCEL)));
    pressKey(box, VK_RETURN);
    HWND confirm = waitForBox(ansi("確認"));
    ASSERT_NE(confirm, nullptr) << "Cancel was not confirmed";
    EXPECT_EQ(messageBoxText(confirm), question);
    clickButton(confirm, answer);
  }
  ASSERT_TRUE(app_->waitForIdle());
  expectFileIs(folder.file("a.mid"), kMixed, "a file after a confirmed Cancel was converted");
}

TEST_F(QuorinE2E, F1WithoutTheHelpPageShowsTheSystemsFileNotFoundText) {
  const TempFolder& folder = newFolder("help");
  startApp(folder, folder.path());

  pressKey(main(), VK_F1);
  HWND box = waitForBox(ansi("エラー"));
  ASSERT_NE(box, nullptr) << "F1 without quorin.html showed no error box";
  EXPECT_EQ(GetWindow(box, GW_OWNER), main());
  EXPECT_EQ(messageBoxText(box), systemText(ERROR_FILE_NOT_FOUND));
  pressKey(box, VK_RETURN);
  EXPECT_TRUE(app_->waitForIdle());
}

TEST_F(QuorinE2E, AboutBoxShowsTheVersionTextsAndThePathOfTheRunningCopy) {
  const TempFolder& folder = newFolder("about");
  startApp(folder, folder.path());

  // Help menu (Alt+H), then its version information item (V).
  pressKey(main(), 'H', {VK_MENU});
  HWND menu = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (menu = app_->findWindow("#32768", nullptr)) != nullptr; }))
      << "Alt+H did not open the Help menu";
  pressKey(nullptr, 'V');
  HWND about = app_->waitForWindow("#32770", ansi("バージョン情報").c_str());
  ASSERT_NE(about, nullptr) << "the About box did not open";
  EXPECT_EQ(itemText(about, 134), "Quorin 1.00");
  EXPECT_EQ(itemText(about, 136),
            ansi("Quorinは、標準 MIDI ファイル (SMF) のランニング ステータスを、有効化・無効化します。"));
  EXPECT_EQ(itemText(about, 1005), app_->exePath());
  EXPECT_TRUE(saveScreenshot(about, artifact("about_box.bmp")));

  pressKey(about, VK_ESCAPE);
  EXPECT_TRUE(app_->waitForIdle()) << "Escape did not close the About box";
}

}  // namespace
