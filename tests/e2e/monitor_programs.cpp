#include "e2e/monitor_programs.hpp"

#include <sys/stat.h>

#include <algorithm>

namespace e2e {

Bytes twice_program() {
    Bytes image(0x16, 0x00);
    const Bytes main_part = {
        0xA2, 0x00,        // 0200 start: LDX #$00
        0x20, 0x10, 0x02,  // 0202        JSR print
        0xE8,              // 0205 @back: INX
        0xE0, 0x02,        // 0206        CPX #$02
        0xD0, 0xF8,        // 0208        BNE $0202
        0x4C, 0x00, 0x00,  // 020A        JMP $0000
    };
    const Bytes print = {
        0xA9, 0x48,        // 0210 print: LDA #'H'
        0x8D, 0x01, 0xFF,  // 0212        STA $FF01
        0x60,              // 0215        RTS
    };
    std::copy(main_part.begin(), main_part.end(), image.begin());
    std::copy(print.begin(), print.end(), image.begin() + 0x10);
    return image;
}


void prepare_monitor_files(const TempDir& dir, const std::string& commands) {
    dir.write("p.bin", twice_program());
    dir.write("p.lbl", std::string(TWICE_LABELS));
    dir.write("bad.lbl", std::string("al 000200 .start\nthis is not\n"));
    // Two routines with a cheap local label of one name each.
    dir.write("two.lbl", std::string("al 000200 .main\nal 000205 .@loop\nal 000210 .sub\nal 000212 .@loop\n"));
    dir.write("c", commands);
    // At 0300: JSR print; "HI",0; LDX #7; JMP 0. The routine adds 3 to the
    // return address on the stack, then returns past the string.
    Bytes inline_string(0x20, 0x00);
    const Bytes caller = {0x20, 0x10, 0x03, 'H', 'I', 0x00, 0xA2, 0x07, 0x4C, 0x00, 0x00};
    const Bytes print = {0xBA, 0xBD, 0x01, 0x01, 0x18, 0x69, 0x03, 0x9D, 0x01, 0x01, 0x90, 0x03, 0xFE, 0x02, 0x01, 0x60};
    std::copy(caller.begin(), caller.end(), inline_string.begin());
    std::copy(print.begin(), print.end(), inline_string.begin() + 0x10);
    dir.write("inline.bin", inline_string);
    // The same call, to a routine that pulls its return address to read the
    // string, calls a routine for each character, then pushes the address
    // past the string and returns there.
    Bytes pulled(0x34, 0x00);
    const Bytes pulling = {
        0x68, 0x85, 0x10, 0x68, 0x85, 0x11,  // 0310 PLA; STA $10; PLA; STA $11
        0xE6, 0x10, 0xD0, 0x02, 0xE6, 0x11,  // 0316 loop: INC $10; BNE +2; INC $11
        0xA0, 0x00, 0xB1, 0x10, 0xF0, 0x06,  // 031C LDY #0; LDA ($10),Y; BEQ done
        0x20, 0x30, 0x03, 0x4C, 0x16, 0x03,  // 0322 JSR putc; JMP loop
        0xA5, 0x11, 0x48, 0xA5, 0x10, 0x48,  // 0328 done: LDA $11; PHA; LDA $10; PHA
        0x60,                                // 032E RTS
    };
    std::copy(caller.begin(), caller.end(), pulled.begin());
    std::copy(pulling.begin(), pulling.end(), pulled.begin() + 0x10);
    pulled[0x30] = 0x8D;  // 0330 putc: STA $FF01; RTS
    pulled[0x31] = 0x01;
    pulled[0x32] = 0xFF;
    pulled[0x33] = 0x60;
    dir.write("pull.bin", pulled);
    // Label files that would act on the terminal, overflow, or hold the monitor.
    dir.write("esc.lbl", std::string("al 000212 .pr\x1B[2Jint\n"));
    dir.write("long.lbl", std::string(5000, 'x') + "\n");
    mkfifo(dir.file("fifo.lbl").c_str(), 0644);
}

}  // namespace e2e
