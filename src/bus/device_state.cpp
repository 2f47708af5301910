// The devices' state as a whole, for steps backwards.
#include "bus/devices.hpp"

DeviceState device_state() { return {random_state(), rtc_virtual_time(), console_state()}; }

void device_state_restore(const DeviceState& state) {
    random_state_restore(state.random);
    rtc_set_virtual_time(state.calendar);
    console_state_restore(state.console);
}
