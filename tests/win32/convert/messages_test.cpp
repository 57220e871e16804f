// The string table, system error texts and message-box captions on the real system
// (Japanese locale, code page 932).
#include "convert/messages.h"

#include <gtest/gtest.h>

#include "box_answerer.h"
#include "convert/app_state.h"
#include "expected_texts.h"

namespace convert::testing {
namespace {

class Messages : public ::testing::Test {
protected:
    void SetUp() override { InstanceHandle = GetModuleHandleA(nullptr); }
};

TEST_F(Messages, EveryTableTextLoadsAsCodePage932Bytes) {
    ASSERT_EQ(GetACP(), 932u);
    for (const auto& [id, bytes] : expectedTexts()) {
        std::string text = "old";
        EXPECT_TRUE(LoadMessageText(text, id)) << id;
        EXPECT_EQ(text, bytes) << id;
    }
    for (UINT missing : {131u, 137u, 153u, 172u}) {
        std::string text = "old";
        EXPECT_FALSE(LoadMessageText(text, missing)) << missing;
        EXPECT_EQ(text, "") << missing;
    }
}

TEST_F(Messages, SystemErrorTextKeepsLineBreakAndFallsBackTo154) {
    std::string text = "old";
    EXPECT_FALSE(SystemErrorText(text, 0));
    EXPECT_EQ(text, "old");

    ASSERT_TRUE(SystemErrorText(text, ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text, systemText(ERROR_FILE_NOT_FOUND));
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    ASSERT_TRUE(SystemErrorText(text, 0x2000FFFFu));  // a customer code the system has no text for
    EXPECT_EQ(text, expectedText(154));
}

// An empty caption follows the icon bits alone (0x50 and up name no icon); the centring hook
// is gone after every box, even when it was in place before.
TEST_F(Messages, CaptionFollowsIconBitsUnlessGiven) {
    struct Case {
        UINT style;
        const char* caption;
        std::string expected;
    };
    const Case cases[] = {{MB_YESNO | MB_ICONQUESTION, "", expectedText(165)},
                          {MB_OK | MB_ICONERROR, "", expectedText(164)},
                          {MB_OK | MB_ICONEXCLAMATION, "", expectedText(166)},
                          {MB_OK | MB_ICONINFORMATION, "", expectedText(167)},
                          {MB_OK | MB_ICONERROR | MB_TASKMODAL, "", expectedText(164)},
                          {MB_OK, "", ""},
                          {MB_OK | 0x50, "", ""},
                          {MB_OK | 0xF0, "", ""},
                          {MB_OK | MB_ICONERROR, "Own", "Own"}};
    BoxAnswerer answerer({IDYES});
    InstallCentringHook();
    for (const Case& c : cases) {
        EXPECT_EQ(ShowMessageBox(nullptr, "text", c.caption, c.style), &c == cases ? IDYES : IDOK);
    }
    EXPECT_FALSE(CentringHookInstalled());
    ShowSystemError(nullptr, 0);  // shows nothing
    ShowSystemError(nullptr, ERROR_ACCESS_DENIED);
    ASSERT_EQ(answerer.boxes.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(answerer.boxes[i].caption, cases[i].expected) << i;
        EXPECT_EQ(answerer.boxes[i].text, "text") << i;
    }
    EXPECT_EQ(answerer.boxes.back().caption, expectedText(164));
    EXPECT_EQ(answerer.boxes.back().text, systemText(ERROR_ACCESS_DENIED));
}

// A system text with inserts ("%1") comes whole, the inserts left as they are.
TEST_F(Messages, SystemTextWithInsertsComesWhole) {
    DWORD code = 1;
    while (code < 2000 && systemText(code).find("%1") == std::string::npos) ++code;
    ASSERT_LT(code, 2000u) << "no system text with an insert";
    std::string text;
    ASSERT_TRUE(SystemErrorText(text, code));
    EXPECT_EQ(text, systemText(code));
}

RECT atInit{}, atShow{};

// A dialog that looks where it stands as its own initialisation begins, and closes.
INT_PTR CALLBACK lookAtInit(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    GetWindowRect(dialog, &atInit);
    EndDialog(dialog, IDOK);
    return TRUE;
}

LRESULT CALLBACK lookAtShow(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_SHOWWINDOW && call->wParam) {
        GetWindowRect(call->hwnd, &atShow);
        PostMessageA(call->hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Under the hook a dialog stands centred over its owner when its initialisation begins
// (the template puts it at the owner's corner), and a box whatever it does with its own
// position while it initialises.
TEST_F(Messages, DialogsAndBoxesStandCentredOverTheirOwner) {
    const HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 40, 60, 500, 300, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    struct alignas(4) {
        DLGTEMPLATE dialog{WS_POPUP | WS_CAPTION, 0, 0, 0, 0, 100, 50};
        WORD menu = 0, windowClass = 0, title = 0;
    } dialogTemplate;
    InstallCentringHook();
    DialogBoxIndirectParamA(nullptr, &dialogTemplate.dialog, owner, lookAtInit, 0);
    RemoveCentringHook();
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, lookAtShow, nullptr, GetCurrentThreadId());
    EXPECT_EQ(ShowMessageBox(owner, "text", "", MB_OK | MB_ICONERROR), IDOK);
    UnhookWindowsHookEx(hook);
    DestroyWindow(owner);
    for (const RECT& r : {atInit, atShow}) {
        EXPECT_NEAR((r.left + r.right) / 2, 40 + 500 / 2, 1);
        EXPECT_NEAR((r.top + r.bottom) / 2, 60 + 300 / 2, 1);
    }
}

}  // namespace
}  // namespace convert::testing
