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

RECT shownBox{};

LRESULT CALLBACK recordShownBox(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_SHOWWINDOW && call->wParam) {
        GetWindowRect(call->hwnd, &shownBox);
        PostMessageA(call->hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Whatever the system's box does with its own position while it initialises, it is shown
// centred over its owner.
TEST_F(Messages, BoxIsShownCentredOverItsOwner) {
    const HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 40, 60, 500, 300, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, recordShownBox, nullptr, GetCurrentThreadId());
    EXPECT_EQ(ShowMessageBox(owner, "text", "", MB_OK | MB_ICONERROR), IDOK);
    UnhookWindowsHookEx(hook);
    DestroyWindow(owner);
    EXPECT_NEAR((shownBox.left + shownBox.right) / 2, 40 + 500 / 2, 1);
    EXPECT_NEAR((shownBox.top + shownBox.bottom) / 2, 60 + 300 / 2, 1);
}

}  // namespace
}  // namespace convert::testing
