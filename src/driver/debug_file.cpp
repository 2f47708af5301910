#include "driver/debug_file.hpp"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "host/files.hpp"
#include "inspect/profile_format.hpp"

std::string debug_file_beside(const std::string& image_path) {
    const std::size_t slash = image_path.find_last_of("/\\");
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = image_path.rfind('.');
    // A leading dot ("./x", ".hidden") starts no extension.
    if (dot == std::string::npos || dot <= name) return image_path + ".dbg";
    return image_path.substr(0, dot) + ".dbg";
}

std::string labels_beside(const CommandLine& line) {
    if (line.labels != nullptr || line.image_path == nullptr) return {};
    std::string path = debug_file_beside(line.image_path);
    path.replace(path.size() - 4, 4, ".lbl");
    if (path == line.image_path) return {};
    std::FILE* file = host_open_plain_file(path.c_str());
    if (file == nullptr) return {};
    std::fclose(file);
    return path;
}

RunDebugInfo load_run_debug_info(const CommandLine& line) {
    RunDebugInfo result;
    const bool given = line.debug_info != nullptr;
    // Only the monitor and the inspections show source lines: a plain run
    // looks for nothing.
    const bool wanted = line.monitor || line.commands != nullptr || line.dap || line.check ||
                        line.check_suppress != nullptr || line.coverage != nullptr ||
                        (line.profile != nullptr && profile_format_for(line.profile, line.profile_format) != ProfileFormat::table);
    if (!given && (line.image_path == nullptr || !wanted)) return result;
    const std::string path = given ? line.debug_info : debug_file_beside(line.image_path);
    if (!given && path == line.image_path) return result;

    auto info = std::make_unique<debug_info::DebugInfo>();
    std::string fault = debug_info::load_file(path.c_str(), *info);
    if (!fault.empty() && !given) {
        // Nothing beside the image is no fault: most images have no debug file.
        std::vector<std::uint8_t> probe(1);
        const FileRead r = host_read_file(path.c_str(), probe);
        if (r.status == FileReadStatus::cannot_open && host_error_is_missing(r.error)) return result;
    }
    if (fault.empty() && line.image_path != nullptr) {
        std::vector<std::uint8_t> image(0x10000);
        const FileRead r = host_read_file(line.image_path, image);
        if (r.status != FileReadStatus::ok) return result;  // the image's own load has said why
        image.resize(r.size);
        fault = info->check_image(image, static_cast<std::uint32_t>(line.load_address));
    }
    if (!fault.empty()) {
        result.message = "emu6502: debug information '" + path + "' not used: " + fault + ".";
        return result;
    }
    if (!given) result.message = "emu6502: source lines from '" + path + "'.";
    result.info = std::move(info);
    result.path = path;
    return result;
}
