#include "host/workers.hpp"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

// A process cannot be copied here, so each worker is this program started
// again with the same command line and EMU6502_TEST_WORKER=W/COUNT in its
// environment: it comes to this same call with the same work, does worker
// W's share with its standard output as `out`, and ends.
namespace {
constexpr const wchar_t* WORKER_VARIABLE = L"EMU6502_TEST_WORKER";

struct Child {
    HANDLE process = nullptr;
    HANDLE pipe = nullptr;  // its standard output, read here
    std::string partial;
};

// Starts worker `w` of `count`, its standard output a pipe of its own.
bool start_child(unsigned w, unsigned count, Child& child) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    wchar_t program[32768];
    const DWORD length = GetModuleFileNameW(nullptr, program, 32768);
    std::wstring command_line = GetCommandLineW();
    const std::wstring role = std::to_wstring(w) + L"/" + std::to_wstring(count);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    // The variable is set only while the child starts: it inherits it, this process keeps none.
    SetEnvironmentVariableW(WORKER_VARIABLE, role.c_str());
    const bool ok = length > 0 && length < 32768 &&
                    CreateProcessW(program, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &started);
    SetEnvironmentVariableW(WORKER_VARIABLE, nullptr);
    // Closed before the next child starts, so that none inherits another's
    // pipe and each pipe ends when its own child does.
    CloseHandle(write_end);
    if (!ok) {
        CloseHandle(read_end);
        return false;
    }
    CloseHandle(started.hThread);
    child.process = started.hProcess;
    child.pipe = read_end;
    return true;
}
}  // namespace

unsigned host_run_workers(unsigned count, const WorkerJob& work, const WorkerLine& heard) {
    wchar_t role[32];
    const DWORD n = GetEnvironmentVariableW(WORKER_VARIABLE, role, 32);
    if (n > 0 && n < 32) {
        // This process is a worker: its share, then its end.
        unsigned w = 0, of = 0;
        if (std::swscanf(role, L"%u/%u", &w, &of) != 2 || of != count || w >= count) std::_Exit(3);
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
        work(w, stdout);
        std::fflush(stdout);
        std::_Exit(0);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::vector<Child> children;
    for (unsigned w = 0; w < count; ++w) {
        Child child;
        if (!start_child(w, count, child)) break;
        children.push_back(std::move(child));
    }
    // Anonymous pipes cannot be waited on together: each is looked into in
    // turn, with a short sleep when none had anything.
    std::size_t open_pipes = children.size();
    while (open_pipes > 0) {
        bool any = false;
        for (std::size_t c = 0; c < children.size(); ++c) {
            Child& child = children[c];
            if (child.pipe == nullptr) continue;
            DWORD available = 0;
            char buffer[4096];
            DWORD got = 0;
            if (!PeekNamedPipe(child.pipe, nullptr, 0, nullptr, &available, nullptr) ||
                (available > 0 && (!ReadFile(child.pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0))) {
                CloseHandle(child.pipe);  // its child has ended and all it wrote is read
                child.pipe = nullptr;
                --open_pipes;
                continue;
            }
            if (available == 0) continue;
            any = true;
            child.partial.append(buffer, got);
            std::size_t line_end;
            while ((line_end = child.partial.find('\n')) != std::string::npos) {
                heard(static_cast<unsigned>(c), std::string_view(child.partial).substr(0, line_end));
                child.partial.erase(0, line_end + 1);
            }
        }
        if (!any) Sleep(1);
    }
    for (Child& child : children) {
        WaitForSingleObject(child.process, INFINITE);
        CloseHandle(child.process);
    }
    return static_cast<unsigned>(children.size());
}

unsigned host_processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<unsigned>(info.dwNumberOfProcessors) : 1u;
}
