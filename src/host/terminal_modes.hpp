// What a program has changed on its terminal through escape sequences:
// hidden cursor, alternate screen, character attributes, keypad, the
// line-drawing character set, the scroll region, origin and insert modes,
// a few input modes (cursor keys, mouse reports, bracketed paste, focus
// events), and a sequence left half written.
// Fed every byte the program prints, it yields the bytes that undo those
// changes when the program leaves the terminal, and the bytes that make
// them again when it takes the terminal back after a suspend. Nothing is
// yielded for a program that changed nothing.
//
// The window title is not tracked: a terminal offers no portable way to
// read or restore it, and most shells set it again at their next prompt.
//
// undo() and redo() only fill the caller's buffer: signal handlers call them.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

class TerminalModes {
public:
    void feed(std::uint8_t byte);
    // Fills `out` (at least UNDO_ROOM bytes); returns the count, 0 when
    // the program changed nothing that is still changed.
    std::size_t undo(char* out) const;
    std::size_t redo(char* out) const;
    // Forgets every change, as after a full reset.
    void clear();
    // The program asked the terminal something (cursor position, device
    // attributes, a mode or a colour): an answer may still be on its way.
    [[nodiscard]] bool query_sent() const { return query_ != 0; }
    // The program left the cursor after text on its line (the monitor
    // then starts its own on a new one); line_ended() after writing one.
    [[nodiscard]] bool mid_line() const { return mid_line_; }
    void line_ended() { mid_line_ = false; }

    static constexpr std::size_t UNDO_ROOM = 320;

private:
    void escape_final(std::uint8_t byte);
    void csi_final(std::uint8_t byte);
    void select_graphic_rendition();
    void set_private_modes(bool set);
    void start_csi();

    enum State : std::uint8_t { ground, escape, escape_intermediate, csi, csi_ignore, string, string_escape };

    static constexpr std::size_t MAX_PARAMS = 16;
    static constexpr std::size_t SGR_ROOM = 64;

    // Parser: main flow only.
    State state_ = ground;
    std::uint8_t private_marker_ = 0;
    std::uint8_t intermediate_ = 0;
    std::uint16_t params_[MAX_PARAMS]{};
    bool sub_param_[MAX_PARAMS]{};  // the parameter carries ':' sub-parameters
    std::size_t param_count_ = 0;
    char raw_[SGR_ROOM]{};  // the parameter text of the current sequence
    std::size_t raw_size_ = 0;
    bool raw_overflow_ = false;
    std::uint8_t string_previous_ = 0;
    bool mid_line_ = false;

    // The terminal as the program left it: read by signal handlers too.
    volatile sig_atomic_t in_sequence_ = 0;  // a sequence is half written
    volatile sig_atomic_t modes_ = 0;        // bit i: private mode PRIVATE_MODES[i] differs from its default
    volatile sig_atomic_t keypad_ = 0;       // application keypad
    volatile sig_atomic_t attributes_ = 0;   // attributes other than the defaults
    volatile sig_atomic_t query_ = 0;
    volatile sig_atomic_t charsets_ = 0;       // line drawing in G0 / G1, G1 shifted in
    volatile sig_atomic_t insert_ = 0;         // insert mode (CSI 4 h)
    volatile sig_atomic_t scroll_top_ = 0;     // the scroll region, 0 and 0 when none
    volatile sig_atomic_t scroll_bottom_ = 0;
    // The attributes' parameters since the last reset, joined by ';', to
    // set them again after a suspend (empty and never replayed on overflow).
    char sgr_[SGR_ROOM]{};
    volatile sig_atomic_t sgr_size_ = 0;
    volatile sig_atomic_t sgr_overflow_ = 0;
};
