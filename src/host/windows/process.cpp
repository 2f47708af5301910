#include "host/process.hpp"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/windows/wide.hpp"

void host_guard_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) == -1) {
            const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
            if (opened >= 0 && opened != fd) {
                _dup2(opened, fd);
                _close(opened);
            }
        }
        // Bytes pass unchanged: no CR LF translation, no end at Ctrl-Z.
        _setmode(fd, _O_BINARY);
    }
}

FolderLock host_lock_working_folder() {
    // A named mutex for the folder: released by the system however the
    // process ends, and no file to leave behind.
    wchar_t folder[32768];
    const DWORD n = GetFullPathNameW(L".", 32768, folder, nullptr);
    if (n == 0 || n >= 32768) return FolderLock::unsupported;
    std::wstring name(folder, n);
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return c == L'\\' ? L'/' : towlower(c); });
    name = L"Local\\emu6502-membackup:" + name;
    if (name.size() > MAX_PATH) name = name.substr(name.size() - MAX_PATH);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) return FolderLock::unsupported;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return FolderLock::busy;
    }
    return FolderLock::taken;  // the handle stays open: it holds the lock
}

char** host_arguments(int argc, char** argv) {
    // The narrow argv holds the ANSI code page's idea of each argument;
    // the wide command line has the names as they are.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) return argv;
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i) texts.push_back(narrow(wide[i]));
    for (auto& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    LocalFree(wide);
    return pointers.data();
}
