#include "tester/junit.hpp"

#include <cstdio>

namespace tester {

std::string xml_escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // XML 1.0 has no place for the other control characters.
            if (u < 0x20 && c != '\n' && c != '\t') out += '?';
            else out += c;
        }
    }
    return out;
}

bool write_junit(const std::string& path, const std::vector<JunitCase>& cases) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    std::size_t failures = 0, skipped = 0;
    double seconds = 0;
    for (const JunitCase& c : cases) {
        failures += c.outcome.status == Status::failed;
        skipped += c.outcome.status == Status::skipped;
        seconds += c.seconds;
    }
    char head[160];
    std::snprintf(head, sizeof head, "<testsuites name=\"emu6502\" tests=\"%zu\" failures=\"%zu\" skipped=\"%zu\" time=\"%.6f\">\n",
                  cases.size(), failures, skipped, seconds);
    xml += head;
    for (std::size_t i = 0; i < cases.size();) {
        // The tests of one file, in a row.
        std::size_t end = i;
        std::size_t f = 0, s = 0;
        double t = 0;
        while (end < cases.size() && cases[end].file == cases[i].file) {
            f += cases[end].outcome.status == Status::failed;
            s += cases[end].outcome.status == Status::skipped;
            t += cases[end].seconds;
            ++end;
        }
        std::snprintf(head, sizeof head, "\" tests=\"%zu\" failures=\"%zu\" skipped=\"%zu\" time=\"%.6f\">\n", end - i, f, s, t);
        xml += "  <testsuite name=\"" + xml_escaped(cases[i].file) + head;
        for (; i < end; ++i) {
            const JunitCase& c = cases[i];
            std::snprintf(head, sizeof head, "\" time=\"%.6f\"", c.seconds);
            xml += "    <testcase classname=\"" + xml_escaped(c.file) + "\" name=\"" + xml_escaped(c.name) + head;
            if (c.outcome.status == Status::passed) {
                xml += "/>\n";
                continue;
            }
            xml += ">\n";
            if (c.outcome.status == Status::skipped) {
                xml += "      <skipped message=\"" + xml_escaped(c.outcome.skip_reason) + "\"/>\n";
            } else {
                std::string all;
                for (const std::string& line : c.outcome.failures) all += line + "\n";
                // The message is the first failure's first line (a check's report goes on with its calls).
                const std::string first =
                    c.outcome.failures.empty() ? "failed" : c.outcome.failures.front().substr(0, c.outcome.failures.front().find('\n'));
                xml += "      <failure message=\"" + xml_escaped(first) + "\">" + xml_escaped(all) + "</failure>\n";
            }
            xml += "    </testcase>\n";
        }
        xml += "  </testsuite>\n";
    }
    xml += "</testsuites>\n";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(xml.data(), 1, xml.size(), out) == xml.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace tester
