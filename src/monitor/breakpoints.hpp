// The monitor's breakpoints and watchpoints as the user sets them: an
// address or (watchpoints) a range, enabled or not, a pass count and a
// condition. The session keeps the table and the lookup tables the threaded
// code reads; a condition is evaluated only when its address is reached
// (a watchpoint's: after an access), so one that never fires costs what a
// plain one does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debug/expression.hpp"
#include "debug/labels.hpp"

struct Point {
    unsigned number = 0;
    std::uint16_t address = 0;
    std::uint16_t end = 0;       // the last watched address; `address` for a breakpoint
    std::uint8_t access = 0;     // 0 for a breakpoint, else the watched accesses
    bool enabled = true;
    std::uint32_t pass = 0;      // hits let by before it stops
    std::uint64_t hits = 0;
    std::string condition;       // stops only where it is not 0 ("" for always)
    bool temporary = false;      // tbreak: deleted where it stops
    std::vector<std::string> commands;  // run where it stops (commands N ... end)
};

// A breakpoint reached, or a watched access: counts the hit and says
// whether it stops. A
// condition that cannot be worked out now (a division by zero) stops, with
// `error` saying why. Uncounted (a run taken back, probed for its last
// stop), the condition alone decides.
[[nodiscard]] bool breakpoint_stops(Point& point, const ExpressionContext& context, std::string& error,
                                    bool counted = true);

// One line of b's list, without its line end.
[[nodiscard]] std::string describe_point(const Point& point, const Labels& labels);
