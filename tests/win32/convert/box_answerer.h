// Answers the message boxes that the code under test shows on this thread, recording each
// box's caption and text.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace convert::testing {

struct ShownBox {
    std::string caption;
    std::string text;
};

// While alive, every message box gets the next answer (IDOK once none are left), after
// onShown has seen it. One at a time per thread.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<int> answers = {});
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    ~BoxAnswerer();

    std::vector<ShownBox> boxes;
    std::function<void(HWND box)> onShown;

private:
    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam);
    void answer(HWND box);

    std::deque<int> answers_;
    HHOOK hook_ = nullptr;
};

}  // namespace convert::testing
