#include "host/windows/wide.hpp"

#include <windows.h>

std::wstring widen(const char* utf8) {
    // Text that is not UTF-8 is taken in the ANSI code page, as the
    // narrow runtime would have.
    UINT page = CP_UTF8;
    int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n == 0) {
        page = CP_ACP;
        n = MultiByteToWideChar(page, 0, utf8, -1, nullptr, 0);
    }
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(page, page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, utf8, -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string narrow(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}
