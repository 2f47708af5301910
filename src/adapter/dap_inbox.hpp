// The client's messages while the machine runs: a thread reads them as they
// come, so that a pause (or the client's leaving) can stop a running program,
// and the machine's thread takes them when it is ready.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "adapter/dap_transport.hpp"

class DapInbox {
public:
    explicit DapInbox(std::FILE* in);
    ~DapInbox();
    DapInbox(const DapInbox&) = delete;
    DapInbox& operator=(const DapInbox&) = delete;

    // Something has come since the last take: one atomic load, for the run loop.
    [[nodiscard]] bool waiting() const { return waiting_.load(std::memory_order_relaxed); }
    // The next message, waiting for it; status `end` once the input has ended.
    [[nodiscard]] DapRead take();
    // The next message if one has come, without waiting.
    [[nodiscard]] bool try_take(DapRead& into);
    // The input has ended and every message before its end was taken.
    [[nodiscard]] bool ended();

private:
    void read_all();

    std::FILE* in_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<DapRead> messages_;
    bool ended_ = false;
    std::atomic<bool> waiting_{false};
    std::thread reader_;
};
