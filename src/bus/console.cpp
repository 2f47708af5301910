// KBD_IN and CON_OUT.
#include <vector>

#include "bus/devices.hpp"
#include "host/terminal.hpp"

bool stdin_input = false;
KeyboardIdle keyboard_idle;

namespace {
// A program waiting for a key reads KBD_IN in a loop of a few instructions
// and does nothing else: the kit's loops take two. Such a loop sleeps until
// a key comes or the timer's next tick, whichever is first, instead of
// spinning; a program doing real work between two reads, or touching any
// other device, is never slowed. The pace is measured in instructions (the
// run loop's clock polls), not in time, so a busy host changes nothing.
constexpr unsigned WAIT_READS = 64;         // empty reads in a row, with nothing else
constexpr std::uint32_t WAIT_POLLS = 8;     // within about 9 x 128 instructions
bool may_sleep = true;
std::uint32_t window_start = 0;
KeySource key_source = KeySource::terminal;
std::span<const ScriptedKey> armed_keys;
std::uint64_t script_reads = 0;
KeyObserver key_observer = nullptr;
bool muted = false;
std::vector<u8>* captured = nullptr;

// Standard input as read, kept for runs taken back (console_keep_input).
struct KeptInput {
    bool on = false;
    std::vector<u8> bytes;  // reserved whole when switched on: never grows while running
    std::size_t read = 0;   // the next read takes bytes[read] while there is one
    bool ended = false;     // the input's end was read after the last byte
    std::uint64_t unkept = 0;
};
KeptInput kept;

// The next byte of standard input, or -1 at its end: kept bytes first.
int stdin_byte() {
    if (!kept.on) return host_stdin_read();
    if (kept.read < kept.bytes.size()) return kept.bytes[kept.read++];
    if (kept.ended) return -1;
    const int c = host_stdin_read();
    if (c < 0) {
        kept.ended = true;
        return c;
    }
    if (kept.bytes.size() == kept.bytes.capacity()) {  // full: start again from here
        ++kept.unkept;
        kept.bytes.clear();
        kept.read = 0;
    }
    kept.bytes.push_back(static_cast<u8>(c));
    ++kept.read;
    return c;
}

// A key on its way to the program, shown to the recorder first.
u8 delivered(u8 key) {
    if (key != 0 && key_observer != nullptr) key_observer(key);
    return key;
}

u8 next_key() {
    console_activity();
    const int code = host_key_read();
    // The DEL key deletes backwards on this machine.
    return code == 127 ? 8 : static_cast<u8>(code);
}
}  // namespace

void console_init(bool from_stdin) { stdin_input = from_stdin; }

void console_keep_input(std::size_t capacity) {
    kept.on = true;
    kept.bytes.reserve(capacity);
}

std::uint64_t console_unkept_input() { return kept.unkept; }

ConsoleState console_state() { return {stdin_input, kept.read, script_reads}; }

void console_state_restore(const ConsoleState& state) {
    stdin_input = state.stdin_input;
    kept.read = state.input_read;
    script_reads = state.script_reads;
}

void console_mute(bool on) { muted = on; }

void console_capture(std::vector<u8>* into) { captured = into; }

void console_key_source(KeySource source) { key_source = source; }

void console_script_keys(std::span<const ScriptedKey> keys) { armed_keys = keys; }

std::size_t console_script_left() { return armed_keys.size(); }

std::uint64_t console_script_reads() { return script_reads; }

void console_observe_keys(KeyObserver observer) { key_observer = observer; }

void console_idle_wait(bool allowed) {
    may_sleep = allowed;
    console_activity();
}

u8 kbd_in_read() {
    if (stdin_input) {
        console_activity();
        const int c = stdin_byte();
        if (c >= 0) return delivered(static_cast<u8>(c));  // 0x7F stays 0x7F on this path
        stdin_input = false;  // input has ended: the keyboard takes over
        return 0;
    }
    switch (key_source) {
    case KeySource::terminal: break;
    case KeySource::none: return 0;
    case KeySource::script: {
        ++script_reads;
        if (armed_keys.empty()) return 0;
        const u8 key = armed_keys.front().key;
        armed_keys = armed_keys.subspan(1);
        return key;
    }
    }
    // Polling must never block: a program loops on this register.
    if (host_key_waiting()) return delivered(next_key());
    // The second empty read with nothing printed between: the program waits.
    if (++keyboard_idle.empty_reads == 2) host_console_flush();
    if (keyboard_idle.empty_reads % WAIT_READS == 1) {
        window_start = host_clock_polls;
    } else if (keyboard_idle.empty_reads % WAIT_READS == 0) {
        keyboard_idle.waiting = may_sleep && host_clock_polls - window_start <= WAIT_POLLS;
    }
    if (!keyboard_idle.waiting) return 0;
    host_key_wait();
    return host_key_waiting() ? delivered(next_key()) : 0;
}

// device_write has already counted the store as activity.
void con_out_write(u8 value) {
    if (captured != nullptr) {
        if (captured->size() < captured->capacity()) captured->push_back(value);
        return;
    }
    if (!muted) host_console_write(value);
}
