// The About box: texts from the program's version resource and string table, the bold
// title line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/about_box.h"
#include "shell_fixture.h"

namespace {

using AboutBox = ShellTest;

std::string itemText(HWND box, int id) {
    char text[512] = {};
    GetDlgItemTextA(box, id, text, sizeof text);
    return text;
}

TEST_F(AboutBox, ShowsVersionTextsPathAndAddresses) {
    HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutBoxProc, 0);
    ASSERT_NE(box, nullptr);

    EXPECT_EQ(itemText(box, IDC_DESCRIPTION), "Quorin 1.00");
    EXPECT_EQ(itemText(box, IDC_COPYRIGHT), "(C) 2002 Quorin Project");
    // "Quorinは、標準 MIDI ファイル (SMF) のランニング ステータスを、有効化・無効化します。" in code page 932.
    EXPECT_EQ(itemText(box, IDC_COMMENTS),
              "Quorin\x82\xcd\x81" "A\x95W\x8f\x80 MIDI \x83t\x83@\x83" "C\x83\x8b (SMF) \x82\xcc\x83\x89\x83\x93"
              "\x83j\x83\x93\x83O \x83X\x83" "e\x81[\x83^\x83X\x82\xf0\x81" "A\x97L\x8c\xf8\x89\xbb\x81"
              "E\x96\xb3\x8c\xf8\x89\xbb\x82\xb5\x82\xdc\x82\xb7\x81" "B");
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    EXPECT_EQ(itemText(box, IDC_EXE_PATH), exe);
    EXPECT_EQ(itemText(box, IDC_MAIL), "quorin@example.org");
    EXPECT_EQ(itemText(box, IDC_WEB), "http://quorin.example.org/");
    // The icon control follows the OK button and shows icon 110.
    HWND icon = GetWindow(GetDlgItem(box, IDCANCEL), GW_HWNDNEXT);
    EXPECT_NE(SendMessageA(icon, STM_GETICON, 0, 0), 0);

    LOGFONTA title = {};
    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(box, IDC_DESCRIPTION, WM_GETFONT, 0, 0)), sizeof title,
               &title);
    EXPECT_EQ(title.lfHeight, 16);
    EXPECT_EQ(title.lfWeight, FW_BOLD);
    DestroyWindow(box);
    EXPECT_EQ(BoldTitleFont, nullptr);  // the font goes with the box
}

}  // namespace
