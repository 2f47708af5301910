#include "adapter/dap_inbox.hpp"

DapInbox::DapInbox(std::FILE* in) : in_(in), reader_([this] { read_all(); }) {}

DapInbox::~DapInbox() {
    // The reader ends with its input; the adapter leaves only after that
    // (disconnect, or the client closed the stream), or the process exits.
    if (reader_.joinable()) reader_.detach();
}

void DapInbox::read_all() {
    for (;;) {
        DapRead read = dap_read(in_);
        const bool end = read.status == DapReadStatus::end || read.last;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (read.status != DapReadStatus::end) messages_.push_back(std::move(read));
            if (end) ended_ = true;
            waiting_.store(true, std::memory_order_relaxed);
        }
        arrived_.notify_one();
        if (end) return;
    }
}

DapRead DapInbox::take() {
    std::unique_lock<std::mutex> hold(lock_);
    arrived_.wait(hold, [this] { return !messages_.empty() || ended_; });
    DapRead read;
    if (!messages_.empty()) {
        read = std::move(messages_.front());
        messages_.pop_front();
    }
    waiting_.store(!messages_.empty() || ended_, std::memory_order_relaxed);
    return read;
}

bool DapInbox::try_take(DapRead& into) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (messages_.empty()) {
        if (!ended_) waiting_.store(false, std::memory_order_relaxed);
        return false;
    }
    into = std::move(messages_.front());
    messages_.pop_front();
    waiting_.store(!messages_.empty() || ended_, std::memory_order_relaxed);
    return true;
}

bool DapInbox::ended() {
    const std::lock_guard<std::mutex> hold(lock_);
    return ended_ && messages_.empty();
}
