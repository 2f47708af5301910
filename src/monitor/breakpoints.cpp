#include "monitor/breakpoints.hpp"

#include <cstdio>

#include "monitor/monitor_command.hpp"
#include "base/text.hpp"

bool breakpoint_stops(Point& point, const ExpressionContext& context, std::string& error, bool counted) {
    error.clear();
    if (counted && ++point.hits <= point.pass) return false;
    if (point.condition.empty()) return true;
    const Expression test = evaluate_expression(point.condition, context);
    if (!test.ok()) {
        error = "condition " + quoted_text(point.condition) + ": " + test.error;
        return true;
    }
    return test.value != 0;
}

std::string describe_point(const Point& point, const Labels& labels) {
    char text[64];
    if (point.access == 0) {
        std::snprintf(text, sizeof text, "%u  b %04X", point.number, point.address);
    } else {
        const char* access = point.access == WATCH_READ ? "r" : point.access == WATCH_WRITE ? "w" : "rw";
        if (point.end != point.address)
            std::snprintf(text, sizeof text, "%u  w %04X-%04X %s", point.number, point.address, point.end, access);
        else
            std::snprintf(text, sizeof text, "%u  w %04X %s", point.number, point.address, access);
    }
    std::string line = text;
    if (point.pass != 0) line += "  pass " + std::to_string(point.pass);
    if (!point.condition.empty()) line += "  if " + escape_control(point.condition);
    if (point.hits != 0 && (point.pass != 0 || !point.condition.empty())) line += "  hit " + std::to_string(point.hits);
    if (point.temporary) line += "  temporary";
    if (!point.enabled) line += "  disabled";
    const char* name = labels.name_at(point.address);
    if (name != nullptr) line += std::string("  ") + name;
    return line;
}
