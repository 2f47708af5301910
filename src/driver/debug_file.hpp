// The debug information a run reads: the file that --debug-info names, or
// NAME.dbg beside the image when the monitor is on, checked against the
// image. A bad file is one line on standard error and the run goes on
// without it.
#pragma once

#include <memory>
#include <string>

#include "debug/debug_info.hpp"
#include "driver/command_line.hpp"

struct RunDebugInfo {
    std::unique_ptr<const debug_info::DebugInfo> info;  // null when there is none to use
    std::string message;                                // for standard error, without newline; may be empty
    std::string path;                                   // the file read, when `info` is there
    std::string labels;                                 // NAME.lbl beside the image, or ""
};

// NAME.dbg for NAME.EXT (or NAME), as sdk/build.sh names it.
[[nodiscard]] std::string debug_file_beside(const std::string& image_path);

// NAME.lbl beside the image, as sdk/build.sh writes it, when it is there
// and no --labels was given; else "".
[[nodiscard]] std::string labels_beside(const CommandLine& line);

// Reads what `line` asks for; call after the image is loaded.
[[nodiscard]] RunDebugInfo load_run_debug_info(const CommandLine& line);
