// Text between the encodings the program meets on Windows: names travel inside the program
// in UTF-8, the system's wide calls take UTF-16, and the ANSI calls, the string table and
// the settings file use the system's ANSI code page.
#pragma once

#include <cstddef>
#include <string>

namespace engine {

// Conversions of whole strings (embedded NULs included). An ill-formed sequence becomes
// U+FFFD; nothing fails.
std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const wchar_t* text, std::size_t length);
std::string utf8FromWide(const std::wstring& text);
std::wstring wideFromAnsi(const std::string& text);
std::string utf8FromAnsi(const std::string& text);

// text in the ANSI code page when every character of it has an exact form there (no best
// fit such as "ü" to "u", no default character); false, ansi unspecified, otherwise.
bool exactAnsi(const std::wstring& text, std::string& ansi);

// text as the ANSI code page spells it at best, read back in UTF-16: each character in its
// exact form there, else its best fit ("ü" as "u"), else the code page's default character.
std::wstring bestFitAnsi(const std::wstring& text);

}  // namespace engine
