#include "host/terminal_modes.hpp"

namespace {
// DEC private modes ("ESC[?Nh" sets, "ESC[?Nl" resets) that change how the
// terminal behaves for whoever uses it next, with their usual defaults.
// The alternate screens come after the input modes, the cursor last: the
// order in which undo() restores them.
struct PrivateMode {
    std::uint16_t number;
    bool default_set;
};
constexpr PrivateMode PRIVATE_MODES[] = {
    {1, false},     // application cursor keys
    {6, false},     // origin mode: the cursor counts from the scroll region
    {7, true},      // line wrap at the right margin
    {1000, false},  // mouse reports
    {1002, false},
    {1003, false},
    {1004, false},  // focus reports
    {1005, false},
    {1006, false},
    {1015, false},
    {2004, false},  // bracketed paste
    {47, false},    // alternate screens
    {1047, false},
    {1049, false},
    {25, true},     // visible cursor
};
constexpr int MODE_COUNT = sizeof PRIVATE_MODES / sizeof PRIVATE_MODES[0];
constexpr int FIRST_SCREEN_MODE = 11;
constexpr int CURSOR_MODE = MODE_COUNT - 1;

constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t BEL = 0x07;
constexpr std::uint8_t CAN = 0x18;  // abandons a sequence half written
constexpr std::uint8_t SUB = 0x1A;
constexpr std::uint8_t SO = 0x0E;  // shift out: G1 takes the place of G0
constexpr std::uint8_t SI = 0x0F;

// Character sets: the line-drawing set designated as G0 or G1, and G1 shifted in.
constexpr int G0_LINES = 1, G1_LINES = 2, SHIFTED_OUT = 4;

class Out {
public:
    explicit Out(char* out) : out_(out) {}
    Out& text(const char* s) {
        while (*s != '\0') out_[size_++] = *s++;
        return *this;
    }
    Out& number(unsigned n) {
        char digits[8];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        while (count > 0) out_[size_++] = digits[--count];
        return *this;
    }
    Out& bytes(const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) out_[size_++] = s[i];
        return *this;
    }
    Out& mode(int index, bool set) {
        return text("\x1B[?").number(PRIVATE_MODES[index].number).text(set ? "h" : "l");
    }
    [[nodiscard]] std::size_t size() const { return size_; }

private:
    char* out_;
    std::size_t size_ = 0;
};
}  // namespace

void TerminalModes::clear() {
    modes_ = 0;
    keypad_ = 0;
    attributes_ = 0;
    sgr_size_ = 0;
    sgr_overflow_ = 0;
    charsets_ = 0;
    insert_ = 0;
    scroll_top_ = 0;
    scroll_bottom_ = 0;
    state_ = ground;
    in_sequence_ = 0;
}

void TerminalModes::start_csi() {
    state_ = csi;
    private_marker_ = 0;
    intermediate_ = 0;
    param_count_ = 0;
    params_[0] = 0;
    sub_param_[0] = false;
    raw_size_ = 0;
    raw_overflow_ = false;
}

void TerminalModes::feed(std::uint8_t byte) {
    // CAN and SUB abandon any sequence; ESC starts a new one, even inside
    // another (and ends a string: ESC \ is its terminator).
    if (byte == CAN || byte == SUB) {
        state_ = ground;
    } else if ((byte == SO || byte == SI) && state_ != string) {
        // Shifts act wherever they come, even inside a sequence.
        charsets_ = byte == SO ? (charsets_ | SHIFTED_OUT) : (charsets_ & ~SHIFTED_OUT);
    } else if (byte == ESC) {
        state_ = state_ == string ? string_escape : escape;
    } else {
        switch (state_) {
        case ground:
            if (byte == '\n' || byte == '\r') mid_line_ = false;
            else if (byte >= 0x20 && byte != 0x7F) mid_line_ = true;
            break;
        case escape:
            if (byte == '[') {
                start_csi();
            } else if (byte == ']' || byte == 'P' || byte == 'X' || byte == '^' || byte == '_') {
                // Title, colour and other strings; a DCS may be a request.
                state_ = string;
                string_previous_ = 0;
                if (byte == 'P') query_ = 1;
            } else if (byte >= 0x20 && byte <= 0x2F) {
                state_ = escape_intermediate;
                intermediate_ = byte;
            } else if (byte >= 0x30) {
                escape_final(byte);
                state_ = ground;
            }
            break;
        case escape_intermediate:
            if (byte >= 0x30) {
                // ESC ( 0 and ESC ) 0 designate the line-drawing set; any other final another set.
                const int set = intermediate_ == '(' ? G0_LINES : intermediate_ == ')' ? G1_LINES : 0;
                if (set != 0) charsets_ = byte == '0' ? (charsets_ | set) : (charsets_ & ~set);
                state_ = ground;
            }
            break;
        case csi:
        case csi_ignore:
            if (byte >= 0x40 && byte <= 0x7E) {
                if (state_ == csi) csi_final(byte);
                state_ = ground;
            } else if (byte >= 0x20 && byte <= 0x2F) {
                intermediate_ = byte;
            } else if (byte >= 0x3C && byte <= 0x3F) {
                if (param_count_ == 0 && params_[0] == 0 && raw_size_ == 0 && private_marker_ == 0)
                    private_marker_ = byte;
                else
                    state_ = csi_ignore;
            } else if (byte >= 0x30 && byte <= 0x3B) {
                if (raw_size_ < SGR_ROOM) raw_[raw_size_++] = static_cast<char>(byte);
                else raw_overflow_ = true;
                if (byte == ';') {
                    if (param_count_ + 1 < MAX_PARAMS) {
                        ++param_count_;
                        params_[param_count_] = 0;
                        sub_param_[param_count_] = false;
                    }
                } else if (byte == ':') {
                    sub_param_[param_count_] = true;
                } else if (!sub_param_[param_count_] && byte <= '9') {
                    const unsigned value = params_[param_count_] * 10u + (byte - '0');
                    params_[param_count_] = static_cast<std::uint16_t>(value > 65535 ? 65535 : value);
                }
            }
            break;
        case string:
            if (byte == BEL) state_ = ground;
            else if (byte == '?' && string_previous_ == ';') query_ = 1;  // "ESC]11;?": a colour request
            string_previous_ = byte;
            break;
        case string_escape:
            // ESC \ ends the string; ESC and anything else starts a new sequence.
            state_ = escape;
            if (byte == '\\') state_ = ground;
            else feed(byte);
            break;
        }
    }
    in_sequence_ = state_ != ground;
}

void TerminalModes::escape_final(std::uint8_t byte) {
    switch (byte) {
    case 'c': clear(); break;  // full reset
    case '=': keypad_ = 1; break;
    case '>': keypad_ = 0; break;
    case 'Z': query_ = 1; break;
    default: break;
    }
}

void TerminalModes::csi_final(std::uint8_t byte) {
    if (intermediate_ == '!' && byte == 'p') {  // soft reset
        attributes_ = 0;
        sgr_size_ = 0;
        sgr_overflow_ = 0;
        keypad_ = 0;
        charsets_ = 0;
        insert_ = 0;
        scroll_top_ = 0;
        scroll_bottom_ = 0;
        modes_ = modes_ & ~((1 << 0) | (1 << 1) | (1 << 2) | (1 << CURSOR_MODE));
        return;
    }
    if (intermediate_ == '$' && byte == 'p') {  // a mode request
        query_ = 1;
        return;
    }
    if (intermediate_ != 0) return;
    switch (byte) {
    case 'm':
        if (private_marker_ == 0) select_graphic_rendition();
        break;
    case 'h':
    case 'l':
        if (private_marker_ == '?') set_private_modes(byte == 'h');
        if (private_marker_ == 0)
            for (std::size_t p = 0; p <= param_count_; ++p)
                if (params_[p] == 4) insert_ = byte == 'h';
        break;
    case 'r':  // the scroll region; none given, or the whole screen, resets it
        if (private_marker_ == 0) {
            const unsigned top = params_[0], bottom = param_count_ >= 1 ? params_[1] : 0;
            scroll_top_ = top > 1 || bottom != 0 ? static_cast<sig_atomic_t>(top) : 0;
            scroll_bottom_ = top > 1 || bottom != 0 ? static_cast<sig_atomic_t>(bottom) : 0;
        }
        break;
    case 'n':  // status and cursor position reports
    case 'c':  // device attributes
    case 't':  // window reports
    case 'x':  // terminal parameters
        query_ = 1;
        break;
    default: break;
    }
}

void TerminalModes::set_private_modes(bool set) {
    for (std::size_t p = 0; p <= param_count_; ++p) {
        for (int i = 0; i < MODE_COUNT; ++i) {
            if (PRIVATE_MODES[i].number != params_[p]) continue;
            if (set != PRIVATE_MODES[i].default_set) modes_ = modes_ | (1 << i);
            else modes_ = modes_ & ~(1 << i);
        }
    }
}

void TerminalModes::select_graphic_rendition() {
    // Walk the parameters as the terminal does: 0 (or none) resets, 38, 48
    // and 58 take a colour in the parameters that follow, anything else
    // changes an attribute.
    bool changed = false;
    bool reset_seen = false;
    for (std::size_t p = 0; p <= param_count_; ++p) {
        const unsigned value = params_[p];
        if (value == 0) {
            changed = false;
            reset_seen = true;
            continue;
        }
        changed = true;
        if ((value == 38 || value == 48 || value == 58) && !sub_param_[p] && p < param_count_)
            p += params_[p + 1] == 5 ? 2 : params_[p + 1] == 2 ? 4 : 1;
    }
    if (!changed) {
        attributes_ = 0;
        sgr_size_ = 0;
        sgr_overflow_ = 0;
        return;
    }
    attributes_ = 1;
    if (reset_seen) {
        sgr_size_ = 0;
        sgr_overflow_ = 0;
    }
    // Kept for redo(): the whole sequence, since replaying it gives the same result.
    const std::size_t have = static_cast<std::size_t>(sgr_size_);
    const std::size_t need = raw_size_ + (have > 0 ? 1 : 0);
    if (raw_overflow_ || have + need > SGR_ROOM) {
        sgr_overflow_ = 1;
        return;
    }
    if (have > 0) sgr_[have] = ';';
    for (std::size_t i = 0; i < raw_size_; ++i) sgr_[have + need - raw_size_ + i] = raw_[i];
    sgr_size_ = static_cast<sig_atomic_t>(have + need);
}

std::size_t TerminalModes::undo(char* buffer) const {
    const int modes = modes_;
    const int charsets = charsets_;
    const bool scrolled = scroll_top_ != 0 || scroll_bottom_ != 0;
    if (modes == 0 && keypad_ == 0 && attributes_ == 0 && charsets == 0 && insert_ == 0 && !scrolled &&
        in_sequence_ == 0)
        return 0;
    Out out(buffer);
    // A sequence half written (a title, say) would swallow what follows.
    if (in_sequence_) out.bytes("\x18", 1);
    for (int i = 0; i < FIRST_SCREEN_MODE; ++i)
        if (modes & (1 << i)) out.mode(i, PRIVATE_MODES[i].default_set);
    // Still on the alternate screen, if the program is: leaving it after
    // this puts back the cursor that the region's reset sends home.
    if (scrolled) out.text("\x1B[r");
    if (charsets & SHIFTED_OUT) out.text("\x0F");
    if (charsets & G0_LINES) out.text("\x1B(B");
    if (charsets & G1_LINES) out.text("\x1B)B");
    if (insert_) out.text("\x1B[4l");
    for (int i = FIRST_SCREEN_MODE; i < CURSOR_MODE; ++i)
        if (modes & (1 << i)) out.mode(i, PRIVATE_MODES[i].default_set);
    if (keypad_) out.text("\x1B>");
    // After leaving the alternate screen: its restored cursor brings back
    // the attributes saved with it.
    if (attributes_) out.text("\x1B[0m");
    if (modes & (1 << CURSOR_MODE)) out.mode(CURSOR_MODE, true);
    return out.size();
}

std::size_t TerminalModes::redo(char* buffer) const {
    const int modes = modes_;
    Out out(buffer);
    for (int i = CURSOR_MODE - 1; i >= FIRST_SCREEN_MODE; --i)
        if (modes & (1 << i)) out.mode(i, true);
    for (int i = 0; i < FIRST_SCREEN_MODE; ++i)
        if (modes & (1 << i)) out.mode(i, !PRIVATE_MODES[i].default_set);
    if (scroll_top_ != 0 || scroll_bottom_ != 0) {
        out.text("\x1B[").number(static_cast<unsigned>(scroll_top_));
        if (scroll_bottom_ != 0) out.text(";").number(static_cast<unsigned>(scroll_bottom_));
        out.text("r");
    }
    const int charsets = charsets_;
    if (charsets & G0_LINES) out.text("\x1B(0");
    if (charsets & G1_LINES) out.text("\x1B)0");
    if (charsets & SHIFTED_OUT) out.text("\x0E");
    if (insert_) out.text("\x1B[4h");
    if (keypad_) out.text("\x1B=");
    const auto sgr_size = static_cast<std::size_t>(sgr_size_);
    if (attributes_ && !sgr_overflow_ && sgr_size > 0) out.text("\x1B[").bytes(sgr_, sgr_size).text("m");
    if (modes & (1 << CURSOR_MODE)) out.mode(CURSOR_MODE, false);
    return out.size();
}
