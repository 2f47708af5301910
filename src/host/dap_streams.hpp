// The debug adapter speaks its protocol on the process's standard input and
// output, which the machine also uses (the keyboard with -i, the console,
// messages on standard error). These move the protocol to streams of its own
// and give the machine new standard streams: input from the launch's keys
// file (or none), output and errors into pipes that a thread forwards.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

struct DapChannel {
    std::FILE* in;
    std::FILE* out;
};

// Moves the protocol off descriptors 0 and 1; standard input then reads
// nothing until dap_keys_from. nullopt when the descriptors cannot be had.
[[nodiscard]] std::optional<DapChannel> dap_channel_open();
// Standard input from this file (the keyboard's bytes with -i); an empty
// string, or what went wrong.
[[nodiscard]] std::string dap_keys_from(const char* path);

// Standard output and error into pipes; each chunk read from them goes to
// `sink` (stream 1 or 2) on a thread of its own until dap_output_finish.
using DapOutputSink = void (*)(int stream, const char* data, std::size_t size);
[[nodiscard]] bool dap_output_start(DapOutputSink sink);
// Closes the machine's ends and waits until everything written has reached
// the sink.
void dap_output_finish();
// Waits until everything written so far has reached the sink, the run going
// on: before a stop is told, so that the output before it comes first.
void dap_output_sync();
