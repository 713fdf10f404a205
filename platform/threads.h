// A few threads that work on shared state under one lock and wake each other
// when it changes. POSIX: std::thread, std::mutex and std::condition_variable.
// Windows: _beginthreadex, a critical section and an event per thread, as
// XP has no condition variables (and the toolchain's pthread library, which
// the standard ones stand on there, needs Vista's kernel32).
#pragma once

#include <functional>
#include <memory>

namespace platform {

// The processors this process may run on (at least 1).
[[nodiscard]] unsigned processor_count();

// The calling thread is taking part as number 0; the helpers are 1..n.
class ThreadGroup {
public:
    explicit ThreadGroup(unsigned helpers);
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;
    // Waits for the helpers: each must have been told to return.
    ~ThreadGroup();

    // Starts the helpers, each running body(who); as many as the system gives
    // (started() says how many), the work going on with fewer.
    void start(const std::function<void(unsigned who)>& body);
    unsigned started() const;
    void join();

    void lock();
    void unlock();
    // With the lock held: lets it go until a notify_all (or for no reason),
    // then takes it again. `who` is the caller's number.
    void wait(unsigned who);
    // With the lock held: wakes every waiting thread.
    void notify_all();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Holds the group's lock for a scope; can let it go for a while.
class GroupLock {
public:
    explicit GroupLock(ThreadGroup& group) : group_(group) { group_.lock(); }
    GroupLock(const GroupLock&) = delete;
    GroupLock& operator=(const GroupLock&) = delete;
    ~GroupLock()
    {
        if (held_)
            group_.unlock();
    }
    void unlock()
    {
        group_.unlock();
        held_ = false;
    }
    void lock()
    {
        group_.lock();
        held_ = true;
    }

private:
    ThreadGroup& group_;
    bool held_ = true;
};

}  // namespace platform
