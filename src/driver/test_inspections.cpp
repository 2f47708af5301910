#include "driver/test_inspections.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "bus/bus.hpp"
#include "cpu/cpu.hpp"
#include "driver/images.hpp"

namespace {
// The file's image placed in a fresh memory, as its machine starts.
void place_image(const tester::LoadedFile& file) {
    cpu_select(file.file.chip);
    prepare_memory();
    std::copy(file.image.begin(), file.image.end(), memory.begin() + file.file.load_address);
}
}  // namespace

std::string TestInspections::prepare(const CommandLine& line, const tester::LoadedFiles& loaded) {
    loaded_ = &loaded;
    checks_ = line.check || line.check_suppress != nullptr;
    if (checks_) {
        // Each file's program has its own segments and labels to check by.
        for (const tester::LoadedFile& file : loaded.files) {
            CheckSettings& settings = settings_.emplace_back();
            const std::string fault = check_settings_for(line, file.debug.get(), settings);
            if (!fault.empty()) return fault;
        }
    }
    if (line.coverage == nullptr || loaded.files.empty()) return {};
    // One program, as a coverage file holds: every file must test the same.
    std::string program;
    for (const tester::LoadedFile& file : loaded.files) {
        if (file.debug == nullptr)
            return "--coverage needs the debug information, and " + file.file.path + "'s image has none (" +
                   file.file.image_path + ")";
        place_image(file);
        const std::string name = coverage_test_name(*file.debug);
        if (program_ == nullptr) {
            program_ = &file;
            program = name;
        } else if (name != program) {
            return "--coverage covers one program, and " + program_->file.path + " and " + file.file.path +
                   " test different ones: give their tests a run each";
        }
    }
    place_image(*program_);
    coverage_line_ = line;
    coverage_line_.check = false;
    coverage_line_.check_suppress = nullptr;
    return inspections_.prepare(coverage_line_, program_->debug.get(), program_->file.debug_path, false);
}

bool TestInspections::finish() {
    if (inspections_.coverage() == nullptr) return true;
    if (counts_lost_) {
        std::fprintf(stderr, "emu6502: a worker ended before it sent its coverage counts; '%s' was left as it was.\n",
                     coverage_line_.coverage);
        return false;
    }
    place_image(*program_);  // the report reads the program's instructions
    return inspections_.write_coverage();
}

RunObserver* TestInspections::file_start(const tester::LoadedFile& file) {
    if (!checks_) return nullptr;
    const auto index = static_cast<std::size_t>(&file - loaded_->files.data());
    // Assigned, not made anew: the observers keep watching the same objects.
    if (base_) *base_ = Checker(settings_[index]);
    else base_.emplace(settings_[index]);
    // What the machine starts with was written: the vectors, the trace switch, the image.
    base_->mark_written(0xFFFC, 4);
    base_->mark_written(TRACE_CTL, 1);
    base_->mark_written(file.file.load_address, file.image.size());
    if (!base_observer_) base_observer_.emplace(*base_, true);
    active_ = &*base_;
    findings_before_ = 0;
    return &*base_observer_;
}

RunObserver* TestInspections::test_start() {
    RunObserver* check = nullptr;
    if (checks_) {
        if (current_) *current_ = *base_;
        else current_.emplace(*base_);
        current_->mark_seen();
        current_->forget_calls();  // the start-up's: each test starts on a stack of its own
        if (!current_observer_) current_observer_.emplace(*current_, true);
        active_ = &*current_;
        findings_before_ = current_->findings().size();
        check = &*current_observer_;
    }
    RunObserver* coverage = nullptr;
    if (inspections_.coverage() != nullptr) {
        if (!coverage_observer_) coverage_observer_.emplace();
        coverage = &*coverage_observer_;
    }
    if (check == nullptr || coverage == nullptr) return check != nullptr ? check : coverage;
    if (!both_) both_.emplace(*check, *coverage);
    return &*both_;
}

void TestInspections::wrote(std::uint16_t first, std::size_t count) {
    if (active_ != nullptr) active_->mark_written(first, count);
}

// The tracked calls would still hold the mocked routine's; the checks go
// on without them (a return no call is known for is no fault).
void TestInspections::mocked() {
    if (active_ != nullptr) active_->forget_calls();
}

std::string TestInspections::test_end() {
    if (active_ == nullptr) return {};
    std::string text;
    const auto& findings = active_->findings();
    for (std::size_t i = findings_before_; i < findings.size(); ++i) text += findings[i].report;
    findings_before_ = findings.size();
    return text;
}

// "PC RUNS TAKEN" in hexadecimal for each address that ran, separated by spaces.
std::string TestInspections::worker_counts() {
    const CoverageCounts* counts = inspections_.coverage();
    if (counts == nullptr) return {};
    std::string line;
    char triple[64];
    for (unsigned pc = 0; pc <= 0xFFFF; ++pc) {
        const auto at = static_cast<std::uint16_t>(pc);
        if (counts->runs(at) == 0) continue;
        std::snprintf(triple, sizeof triple, "%x %" PRIx64 " %" PRIx64 " ", pc, counts->runs(at), counts->taken(at));
        line += triple;
    }
    return line;
}

bool TestInspections::add_worker_counts(std::string_view line) {
    CoverageCounts* counts = inspections_.coverage();
    if (counts == nullptr) return line.empty();
    const std::string text(line);
    const char* at = text.c_str();
    while (*at != '\0') {
        unsigned pc = 0;
        std::uint64_t runs = 0, taken = 0;
        int used = 0;
        if (std::sscanf(at, "%x %" SCNx64 " %" SCNx64 " %n", &pc, &runs, &taken, &used) != 3 || used == 0 || pc > 0xFFFF)
            return false;
        counts->add(static_cast<std::uint16_t>(pc), runs, taken);
        at += used;
    }
    return true;
}
