#pragma once

// One line on standard error after an instruction while TRACE_CTL holds 1.
void print_trace_line();
