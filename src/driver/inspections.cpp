#include "driver/inspections.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "cpu/cpu.hpp"
#include "debug/labels.hpp"
#include "driver/debug_file.hpp"
#include "engine/trace.hpp"
#include "host/files.hpp"
#include "host/terminal.hpp"
#include "inspect/check_settings.hpp"
#include "monitor/monitor.hpp"

namespace {
// Writes `text` to `path` whole or not at all; says so when it can't.
bool write_output(const char* what, const char* path, const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (host_replace_file(path, std::span<const std::uint8_t>(bytes, text.size()))) return true;
    host_console_flush();
    std::fprintf(stderr, "%s: can't write %s: %s\n", what, path, std::strerror(errno));
    note_lost_output();
    return false;
}

// The program's bytes as the debug information places them in memory.
std::string program_bytes(const debug_info::DebugInfo& info) {
    std::string bytes;
    for (const debug_info::Segment& segment : info.segments()) {
        if (segment.output.empty()) continue;
        for (std::uint32_t a = segment.start; a < segment.start + segment.size && a <= 0xFFFF; ++a)
            bytes += static_cast<char>(bus_peek(static_cast<std::uint16_t>(a)));
    }
    return bytes;
}

// Where cc65's runtime keeps the end of the heap it handed out: only the
// label file beside the image names it, its library having no debug
// information.
std::optional<u16> heap_pointer(const CommandLine& line) {
    const std::string path = labels_beside(line);
    if (path.empty()) return std::nullopt;
    Labels labels;
    if (!labels.load(path.c_str(), nullptr, nullptr, [](std::string_view name) { return name == "__heapptr"; }).empty())
        return std::nullopt;
    return labels.find("__heapptr");
}
}  // namespace

std::string check_settings_for(const CommandLine& line, const debug_info::DebugInfo* info, CheckSettings& settings) {
    settings.info = info;
    std::string fault;
    if (line.check_off != nullptr) fault = turn_off_kinds(line.check_off, settings.kinds);
    if (fault.empty() && line.protect != nullptr) fault = parse_protect(line.protect, settings.protect);
    if (fault.empty() && line.check_suppress != nullptr)
        fault = load_suppressions(line.check_suppress, info, settings.suppressions);
    if (info != nullptr) settings.heap_pointer = heap_pointer(line);
    return fault;
}

std::string coverage_test_name(const debug_info::DebugInfo& info) { return lcov_test_name(program_bytes(info)); }

bool is_profile_of(const char* path, ProfileFormat format) {
    const std::optional<std::string> start = host_file_start(path, format == ProfileFormat::table ? std::strlen(PROFILE_HEADER) : 64);
    if (!start) return true;
    switch (format) {
    case ProfileFormat::table: return *start == PROFILE_HEADER;
    case ProfileFormat::callgrind: return start->rfind("# callgrind format\n", 0) == 0;
    case ProfileFormat::folded: {
        // "name;name 123": no NUL, a space before the digits that end the first line.
        const std::size_t end = start->find('\n');
        if (end == std::string::npos || start->find('\0') != std::string::npos) return false;
        const std::size_t space = start->rfind(' ', end);
        return space != std::string::npos && space + 1 < end &&
               start->find_first_not_of("0123456789", space + 1) == end;
    }
    }
    return false;
}

std::string Inspections::prepare(const CommandLine& line, const debug_info::DebugInfo* info,
                                 const std::string& debug_path, bool adapter) {
    line_ = &line;
    info_ = info;
    debug_path_ = debug_path;
    // Under the debug adapter the checks are its exception filters: there
    // is a checker, its checks off until the client ticks them.
    if (line.check || line.check_suppress != nullptr || adapter) {
        CheckSettings settings;
        if (!line.check && line.check_suppress == nullptr) settings.kinds = CheckSet{};
        const std::string fault = check_settings_for(line, info, settings);
        if (!fault.empty()) return fault;
        checker = std::make_unique<Checker>(std::move(settings));
    }
    if (line.coverage != nullptr) {
        if (info == nullptr)
            return "--coverage needs the debug information (NAME.dbg beside the image, or --debug-info FILE): "
                   "without it no line is known";
        test_name_ = coverage_test_name(*info);
        std::vector<std::uint8_t> earlier;
        const FileRead r = host_read_file(line.coverage, earlier);
        if (r.status != FileReadStatus::ok && !(r.status == FileReadStatus::cannot_open && host_error_is_missing(r.error)))
            return "can't read coverage file '" + std::string(line.coverage) + "': " + host_error_text(r.error);
        if (r.status == FileReadStatus::ok && !earlier.empty()) {
            const std::string fault =
                parse_lcov(std::string_view(reinterpret_cast<const char*>(earlier.data()), earlier.size()), earlier_);
            if (!fault.empty())
                return "coverage file '" + std::string(line.coverage) + "' " + fault + "; it was left as it is";
            if (earlier_.test != test_name_)
                return "coverage file '" + std::string(line.coverage) + "' is of another program (" + earlier_.test +
                       ", this one is " + test_name_ + "); it was left as it is";
        }
        coverage_ = std::make_unique<CoverageCounts>();
    }
    if (line.profile != nullptr) {
        profile_format_ = profile_format_for(line.profile, line.profile_format);
        if (profile_format_ != ProfileFormat::table) {
            profile_ = std::make_unique<CallProfile>();
            profile_->start(cpu.pc);
        }
    }
    return {};
}

RunObserver* Inspections::observer(bool stopping) {
    watchers_.clear();
    pairs_.clear();
    if (checker) {
        check_observer_ = std::make_unique<CheckObserver>(*checker, stopping);
        watchers_.push_back(check_observer_.get());
    }
    if (coverage_) {
        coverage_observer_ = std::make_unique<CoverageObserver>();
        watchers_.push_back(coverage_observer_.get());
    }
    if (profile_) {
        profile_observer_ = std::make_unique<CallProfileObserver>(*profile_);
        watchers_.push_back(profile_observer_.get());
    }
    if (watchers_.empty()) return nullptr;
    RunObserver* all = watchers_.front();
    for (std::size_t i = 1; i < watchers_.size(); ++i) all = &pairs_.emplace_back(*all, *watchers_[i]);
    return all;
}

bool Inspections::write_coverage() {
    LcovReport report = lcov_report(*coverage_, *info_, debug_path_, test_name_);
    report.add(earlier_);
    return write_output("coverage", line_->coverage, report.text());
}

bool Inspections::finish() {
    bool written = true;
    if (checker && (line_->check || line_->check_suppress != nullptr || checker->any())) print_check_summary(*checker);
    if (coverage_) written = write_coverage() && written;
    if (profile_) {
        profile_->finish();
        const std::string text = profile_format_ == ProfileFormat::callgrind
                                     ? profile_->callgrind(info_, line_->image_path != nullptr ? line_->image_path : "")
                                     : profile_->folded(info_);
        written = write_output("profile", line_->profile, text) && written;
    }
    return written;
}
