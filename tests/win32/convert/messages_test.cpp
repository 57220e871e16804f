// The string table, system error texts, message-box captions and the hook's lifetime, on
// the real system (Japanese locale, code page 932).
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

std::string systemText(DWORD code) {
    char* message = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                   reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text(message, n);
    LocalFree(message);
    return text;
}

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

TEST_F(Messages, CaptionFollowsIconBitsUnlessGiven) {
    BoxAnswerer answerer({IDYES});
    EXPECT_EQ(ShowMessageBox(nullptr, "q", "", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(ShowMessageBox(nullptr, "e", "", MB_OK | MB_ICONERROR), IDOK);
    ShowMessageBox(nullptr, "w", "", MB_OK | MB_ICONEXCLAMATION);
    ShowMessageBox(nullptr, "i", "", MB_OK | MB_ICONINFORMATION);
    ShowMessageBox(nullptr, "n", "", MB_OK);
    ShowMessageBox(nullptr, "o", "Own", MB_OK | MB_ICONERROR);
    ShowSystemError(nullptr, 0);  // shows nothing
    ShowSystemError(nullptr, ERROR_ACCESS_DENIED);
    ASSERT_EQ(answerer.boxes.size(), 7u);
    EXPECT_EQ(answerer.boxes[0].caption, expectedText(165));
    EXPECT_EQ(answerer.boxes[0].text, "q");
    EXPECT_EQ(answerer.boxes[1].caption, expectedText(164));
    EXPECT_EQ(answerer.boxes[2].caption, expectedText(166));
    EXPECT_EQ(answerer.boxes[3].caption, expectedText(167));
    EXPECT_EQ(answerer.boxes[4].caption, "");
    EXPECT_EQ(answerer.boxes[5].caption, "Own");
    EXPECT_EQ(answerer.boxes[6].caption, expectedText(164));
    EXPECT_EQ(answerer.boxes[6].text, systemText(ERROR_ACCESS_DENIED));
}

TEST_F(Messages, BoxEndsHookInstalledBeforeIt) {
    InstallCentringHook();
    InstallCentringHook();
    EXPECT_TRUE(CentringHookInstalled());
    BoxAnswerer answerer;
    ShowMessageBox(nullptr, "x", "", MB_OK);
    EXPECT_FALSE(CentringHookInstalled());
    RemoveCentringHook();
    EXPECT_FALSE(CentringHookInstalled());
}

}  // namespace
}  // namespace convert::testing
