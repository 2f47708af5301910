#include "scratch.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bus/devices.hpp"

void remove_data_files() {
    DIR* dir = opendir(".");
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "file", 4) == 0) unlink(entry->d_name);
    }
    closedir(dir);
}

namespace {
char work_dir[4096] = {};

void remove_work_dir() {
    if (work_dir[0] == '\0' || chdir(work_dir) != 0) return;
    (void)data_file_close();
    remove_data_files();
    if (chdir("/") == 0) rmdir(work_dir);
}

// The run moves into its scratch directory before libFuzzer reads its
// arguments, so paths given relative to where it was started are made
// absolute here, and crash inputs are written there unless told otherwise.
void anchor_arguments(int* argc, char*** argv, const std::string& start_dir) {
    static std::vector<std::string> storage;
    static std::vector<char*> pointers;
    const auto absolute = [&](std::string_view path) {
        return path.empty() || path[0] == '/' ? std::string(path) : start_dir + "/" + std::string(path);
    };
    bool has_artifact_prefix = false;
    storage.reserve(static_cast<std::size_t>(*argc) + 1);
    for (int i = 0; i < *argc; ++i) {
        const std::string_view arg = (*argv)[i];
        std::string rewritten(arg);
        if (i > 0 && !arg.starts_with('-')) {
            rewritten = absolute(arg);  // a corpus directory or an input file
        } else {
            for (const std::string_view flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
                if (!arg.starts_with(flag)) continue;
                rewritten = std::string(flag) + absolute(arg.substr(flag.size()));
                has_artifact_prefix = has_artifact_prefix || flag == "-artifact_prefix=";
            }
        }
        storage.push_back(std::move(rewritten));
    }
    if (!has_artifact_prefix) storage.push_back("-artifact_prefix=" + start_dir + "/");
    for (std::string& arg : storage) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(storage.size());
    *argv = pointers.data();
}
}  // namespace

void enter_scratch_folder(int* argc, char*** argv) {
    char start_dir[4096];
    if (getcwd(start_dir, sizeof start_dir) == nullptr) {
        std::perror("emu6502 fuzz: current directory");
        std::abort();
    }
    anchor_arguments(argc, argv, start_dir);
    const char* tmp = std::getenv("TMPDIR");
    const int length = std::snprintf(work_dir, sizeof work_dir, "%s/emu6502-fuzz-XXXXXX",
                                     tmp != nullptr && *tmp ? tmp : "/tmp");
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof work_dir || mkdtemp(work_dir) == nullptr ||
        chdir(work_dir) != 0) {
        std::perror("emu6502 fuzz: temporary directory");
        std::abort();
    }
    std::atexit(remove_work_dir);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        dup2(null_fd, STDOUT_FILENO);
        close(null_fd);
    }
}
