#include "driver/version.hpp"

#include "driver/build_commit.hpp"  // generated at build time: EMU6502_COMMIT
#include "host/monitor_terminal.hpp"
#include "translate/translate.hpp"

std::string version_text() {
    std::string text = "emu6502 " EMU6502_VERSION "\n";
    text += "commit: " EMU6502_COMMIT "\n";
    text += "licence: MIT (the file LICENSE)\n";
    text += std::string("line editing: ") + monitor_line_editing() + "\n";
    // The debug adapter is an optional part; its build defines this.
#ifdef EMU6502_HAVE_DAP
    text += "debug adapter: built in\n";
#else
    text += "debug adapter: not built\n";
#endif
    text += std::string("translating core: ") + translate_build_text() + "\n";
    return text;
}
