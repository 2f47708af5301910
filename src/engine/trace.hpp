#pragma once

// One line on standard error after an instruction while TRACE_CTL holds 1.
void print_trace_line();

// The errno of the first trace line that could not be written (a full
// disk behind standard error), or 0.
[[nodiscard]] int trace_output_error();

// An output the user asked for (the monitor's trace file, the profile)
// could not be written whole, and has said so where it failed: the run
// ends with exit status 1, once memory is saved.
void note_lost_output();
[[nodiscard]] bool output_was_lost();
