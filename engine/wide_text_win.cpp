// UTF-8, UTF-16 and the ANSI code page, through the system's own conversions.
#include "engine/wide_text_win.h"

#include <windows.h>

namespace engine {

namespace {

std::wstring toWide(UINT codePage, const char* text, std::size_t length) {
    if (length == 0) return std::wstring();
    const int size = static_cast<int>(length);
    const int wideLength = MultiByteToWideChar(codePage, 0, text, size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (wideLength > 0) MultiByteToWideChar(codePage, 0, text, size, &wide[0], wideLength);
    return wide;
}

}  // namespace

std::wstring wideFromUtf8(const std::string& text) {
    return toWide(CP_UTF8, text.data(), text.size());
}

std::wstring wideFromAnsi(const std::string& text) {
    return toWide(CP_ACP, text.data(), text.size());
}

std::string utf8FromWide(const wchar_t* text, std::size_t length) {
    if (length == 0) return std::string();
    const int size = static_cast<int>(length);
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    if (utf8Length > 0) WideCharToMultiByte(CP_UTF8, 0, text, size, &utf8[0], utf8Length, nullptr, nullptr);
    return utf8;
}

std::string utf8FromWide(const std::wstring& text) {
    return utf8FromWide(text.data(), text.size());
}

std::string utf8FromAnsi(const std::string& text) {
    return utf8FromWide(wideFromAnsi(text));
}

bool exactAnsi(const std::wstring& text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) return true;
    const int size = static_cast<int>(text.size());
    BOOL defaulted = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &defaulted);
    if (length <= 0 || defaulted) return false;
    ansi.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, &ansi[0], length, nullptr, &defaulted);
    // The way back must give the same characters: only then do the ANSI calls see this name.
    return !defaulted && wideFromAnsi(ansi) == text;
}

std::wstring bestFitAnsi(const std::wstring& text) {
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::wstring();
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, &ansi[0], length, nullptr, nullptr);
    return wideFromAnsi(ansi);
}

}  // namespace engine
