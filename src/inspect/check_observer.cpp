#include "inspect/check_observer.hpp"

#include <cstdio>

#include "host/terminal.hpp"

ObserverStop CheckObserver::stop_due(const RunCounts&) {
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

void print_check_summary(const Checker& checker) {
    host_console_flush();
    const std::size_t places = checker.findings().size();
    if (places == 0) std::fputs("check: no faults found\n", stderr);
    else std::fprintf(stderr, "check: faults found at %zu place%s\n", places, places == 1 ? "" : "s");
}
