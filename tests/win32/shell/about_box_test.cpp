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

// A setting of the manifest that this program shares with quorin.exe, as the system read it.
std::wstring manifestSetting(const wchar_t* schema, const wchar_t* name) {
    wchar_t value[32] = {};
    SIZE_T length = 0;
    if (!QueryActCtxSettingsW(0, nullptr, schema, name, value, 32, &length)) return L"";
    return value;
}

// Nothing in the box is cut: every text of a static control fits it in the control's own
// font. The manifest declares system DPI awareness, so the box is laid out at the system's
// DPI rather than stretched.
TEST_F(AboutBox, EveryTextFitsItsControlAndTheProcessIsDpiAware) {
    EXPECT_EQ(manifestSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true");
    EXPECT_EQ(manifestSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"), L"system");
    HWND box = CreateDialogParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutBoxProc, 0);
    ASSERT_NE(box, nullptr);
    int measured = 0;
    for (HWND control = GetWindow(box, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(control, className, sizeof className);
        char text[256] = {};
        const int length = GetWindowTextA(control, text, sizeof text);
        const bool icon = (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (lstrcmpiA(className, "Static") != 0 || icon || length == 0) continue;
        const HDC dc = GetDC(control);
        const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        SIZE size = {};
        GetTextExtentPoint32A(dc, text, length, &size);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        RECT client = {};
        GetClientRect(control, &client);
        EXPECT_LE(size.cx, client.right) << text;
        ++measured;
    }
    EXPECT_EQ(measured, 5);  // the title, three labels and the legal notice
    DestroyWindow(box);
}

}  // namespace
