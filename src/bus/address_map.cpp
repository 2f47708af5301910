// The device page 0xFF00-0xFF0C: bus.hpp has already made the range test,
// so only the low byte is left to decode.
#include "bus/bus.hpp"
#include "bus/devices.hpp"

std::uint64_t outside_uses = 0;

u8 device_read(u16 address) {
    if (address != KBD_IN) console_activity();
    switch (address & 0xFF) {
    case KBD_IN & 0xFF: return kbd_in_read();
    case RANDOM & 0xFF: return random_read();
    case RTC_YEAR & 0xFF:
    case RTC_MONTH & 0xFF:
    case RTC_DAY & 0xFF:
    case RTC_HOUR & 0xFF:
    case RTC_MINUTE & 0xFF:
    case RTC_SECOND & 0xFF: return rtc_read(address);
    case FILE_READ & 0xFF: return file_read();
    case FILE_SELECT & 0xFF: {
        u8 status = 0;
        if (file_select_read(status)) return status;
        break;  // no file open: the cell reads back what was stored
    }
    default: break;  // CON_OUT, TRACE_CTL and FILE_WRITE read as memory
    }
    return memory[address];
}

void device_write(u16 address, u8 value) {
    // Every device register keeps the byte last written to it.
    memory[address] = value;
    console_activity();
    switch (address & 0xFF) {
    case CON_OUT & 0xFF: con_out_write(value); break;
    case FILE_WRITE & 0xFF: file_write(value); break;
    case FILE_SELECT & 0xFF: file_select_write(value); break;
    default: break;
    }
}
