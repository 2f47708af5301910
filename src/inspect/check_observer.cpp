#include "inspect/check_observer.hpp"

#include <cstdio>

#include "engine/run_loop.hpp"
#include "host/terminal.hpp"

void CheckObserver::step_after(std::uint16_t pc, std::uint32_t) {
    if (probing_) return;
    checker_.after_instruction(pc);
    checker_.publish();
    stepped_to_ = instructions_before_step + 1;
}

ObserverStop CheckObserver::stop_due(const RunCounts& counts) {
    if (counts.instructions != stepped_to_) checker_.ran_threaded();
    if (checker_.unseen() == 0) return {};
    const auto& findings = checker_.findings();
    reason_.clear();
    for (std::size_t i = findings.size() - checker_.unseen(); i < findings.size(); ++i) reason_ += findings[i].report;
    checker_.mark_seen();
    if (stopping_) {
        if (!reason_.empty() && reason_.back() == '\n') reason_.pop_back();
        return {true, reason_.c_str()};
    }
    host_console_flush();  // the program's output first
    std::fputs(reason_.c_str(), stderr);
    return {};
}

void print_check_summary(Checker& checker) {
    host_console_flush();
    // Reports the run had no time to show: made by the instruction that ended it (a JAM).
    const auto& findings = checker.findings();
    for (std::size_t i = findings.size() - checker.unseen(); i < findings.size(); ++i) std::fputs(findings[i].report.c_str(), stderr);
    checker.mark_seen();
    const std::size_t places = checker.findings().size() + checker.unreported();
    if (places == 0) std::fputs("check: no faults found\n", stderr);
    else if (checker.unreported() != 0)
        std::fprintf(stderr, "check: faults found at %zu places, the first %zu reported\n", places, checker.findings().size());
    else std::fprintf(stderr, "check: faults found at %zu place%s\n", places, places == 1 ? "" : "s");
}
