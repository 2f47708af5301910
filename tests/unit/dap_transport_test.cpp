// The debug adapter's framing: what a client may send, well or badly.
#ifdef EMU6502_HAVE_DAP
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adapter/dap_transport.hpp"

namespace {

struct FramingCase {
    const char* name;
    std::string input;
    // One entry per read until the end: "" for a message (its "command"
    // then in `commands`), else the error expected.
    std::vector<std::string> reads;
};
void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

std::string frame(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; }

const std::string PAUSE = R"({"seq":1,"type":"request","command":"pause"})";

const FramingCase FRAMING_CASES[] = {
    {"one_message", frame(PAUSE), {""}},
    {"two_in_a_row", frame(PAUSE) + frame(PAUSE), {"", ""}},
    {"header_name_in_any_case", "content-length: " + std::to_string(PAUSE.size()) + "\r\n\r\n" + PAUSE, {""}},
    {"other_headers_skipped", "Content-Type: json\r\n" + frame(PAUSE), {""}},
    {"bare_line_feeds", "Content-Length: " + std::to_string(PAUSE.size()) + "\n\n" + PAUSE, {""}},
    {"no_length", "Content-Type: json\r\n\r\n" + frame(PAUSE), {"a message has no Content-Length", ""}},
    {"length_not_a_number", "Content-Length: 12x\r\n\r\n" + frame(PAUSE), {"Content-Length is not a number", ""}},
    // Nothing after a length over the limit is read: the adapter ends.
    {"length_too_large", "Content-Length: 99999999999\r\n\r\n" + frame(PAUSE),
     {"a message is longer than 16 MiB; the adapter reads no further"}},
    {"not_json_then_goes_on", frame("{\"seq\":1,") + frame(PAUSE), {"a message is not valid JSON", ""}},
    {"json_but_no_object", frame("[1,2]"), {"a message is not a JSON object"}},
    {"cut_inside_the_body", "Content-Length: 50\r\n\r\n{\"seq\":1}", {"the stream ended inside a message"}},
    {"cut_inside_the_header", "Content-Length: 5\r\n", {"the stream ended inside a message's header"}},
    {"header_line_too_long", "X: " + std::string(5000, 'a') + "\r\n\r\n" + frame(PAUSE), {"a header line is too long", ""}},
    {"nothing_at_all", "", {}},
};

class DapFraming : public testing::TestWithParam<FramingCase> {};

TEST_P(DapFraming, ReadsMessagesAndSaysWhatIsWrong) {
    const FramingCase& c = GetParam();
    std::string input = c.input;
    std::FILE* in = fmemopen(input.data(), input.size(), "rb");
    if (input.empty()) in = std::fopen("/dev/null", "rb");
    ASSERT_NE(in, nullptr);
    bool last = false;
    for (const std::string& expected : c.reads) {
        ASSERT_FALSE(last) << "a read after the last";
        const DapRead read = dap_read(in);
        last = read.last;
        if (expected.empty()) {
            ASSERT_EQ(read.status, DapReadStatus::message) << read.error;
            EXPECT_EQ(read.message.value("command", ""), "pause");
        } else {
            ASSERT_EQ(read.status, DapReadStatus::malformed);
            EXPECT_EQ(read.error, expected);
        }
    }
    if (!last) {
        EXPECT_EQ(dap_read(in).status, DapReadStatus::end);
    }
    std::fclose(in);
}

INSTANTIATE_TEST_SUITE_P(Input, DapFraming, testing::ValuesIn(FRAMING_CASES),
                         [](const testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

}  // namespace
#endif
