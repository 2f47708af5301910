#include <algorithm>

#include "tester/test_spec.hpp"

namespace tester {

bool Matcher::holds(std::int64_t seen) const {
    return std::all_of(conditions.begin(), conditions.end(), [seen](const Condition& c) {
        const std::int64_t v = c.values.front();
        switch (c.op) {
        case Op::eq: return seen == v;
        case Op::ne: return seen != v;
        case Op::lt: return seen < v;
        case Op::le: return seen <= v;
        case Op::gt: return seen > v;
        case Op::ge: return seen >= v;
        case Op::any_of: return std::find(c.values.begin(), c.values.end(), seen) != c.values.end();
        }
        return false;
    });
}

std::string Matcher::text() const {
    static constexpr const char* OPS[] = {"", "!= ", "< ", "<= ", "> ", ">= ", "any of "};
    std::string out;
    for (const Condition& c : conditions) {
        if (!out.empty()) out += " and ";
        out += OPS[static_cast<int>(c.op)];
        for (std::size_t i = 0; i < c.values.size(); ++i) out += (i > 0 ? ", " : "") + std::to_string(c.values[i]);
    }
    return out;
}

}  // namespace tester
