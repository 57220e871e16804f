// The string table's texts as the program must show them (written here in UTF-8 and
// turned into code page 932, as the A functions return them), and the system's own text
// for an error code.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace convert::testing {

inline std::string cp932(const char* utf8) {
    wchar_t wide[512] = {};
    char ansi[1024] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    WideCharToMultiByte(932, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

inline const std::map<unsigned, std::string>& expectedTexts() {
    static const std::map<unsigned, std::string> texts = {
        {132, "quorin@example.org"}, {133, "http://quorin.example.org/"}, {134, "FileDescription"},
        {135, "LegalCopyright"}, {136, "Comments"},
        {154, cp932("予期せぬエラーが発生しました。")},
        {155, cp932("処理を中止してもよろしいですか?")},
        {156, cp932("このドライブの空き容量は、少なすぎます。")},
        {157, cp932("このドライブの空き容量を、取得することができませんでした。")},
        {158, cp932("\n処理を中止します。")},
        {159, cp932("このファイルは標準 MIDI ファイルではないか、データが破損しています。")},
        {160, cp932("このファイルを開くことができませんでした。")},
        {161, cp932("標準 MIDI ファイル (*.mid)\n*.mid\nすべてのファイル (*.*)\n*.*\n")},
        {162, cp932("選択されたファイル数が多すぎます。\n選択するファイル数を減らしてください。")},
        {163, cp932("WWW ブラウザを起動し、インターネットへの接続を試みますか?")},
        {164, cp932("エラー")}, {165, cp932("確認")}, {166, cp932("警告")}, {167, cp932("情報")},
        {168, cp932("このファイルに書き込むことができませんでした。")},
        {169, cp932("このファイルを読み込むことができませんでした。")},
        {170, cp932("メモリが不足しています。")},
        {171, cp932("\n元のデータを復元できませんでした。")},
    };
    return texts;
}

inline const std::string& expectedText(unsigned id) { return expectedTexts().at(id); }

inline std::string systemText(DWORD code) {
    char* message = nullptr;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD n = FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                   reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text(message, n);
    LocalFree(message);
    return text;
}

}  // namespace convert::testing
