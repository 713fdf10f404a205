#include <sched.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/threads.h"

namespace platform {

unsigned processor_count()
{
#ifdef CPU_COUNT
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return unsigned(CPU_COUNT(&set));
#endif
    const unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

struct ThreadGroup::State {
    unsigned helpers = 0;
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable changed;
};

ThreadGroup::ThreadGroup(unsigned helpers) : state_(std::make_unique<State>())
{
    state_->helpers = helpers;
}

ThreadGroup::~ThreadGroup()
{
    join();
}

void ThreadGroup::start(const std::function<void(unsigned who)>& body)
{
    try {
        while (state_->threads.size() < state_->helpers) {
            const unsigned who = unsigned(state_->threads.size()) + 1;
            state_->threads.emplace_back([body, who] { body(who); });
        }
    } catch (const std::system_error&) {
    }
}

unsigned ThreadGroup::started() const
{
    return unsigned(state_->threads.size());
}

void ThreadGroup::join()
{
    for (std::thread& t : state_->threads)
        t.join();
    state_->threads.clear();
}

void ThreadGroup::lock()
{
    state_->mutex.lock();
}

void ThreadGroup::unlock()
{
    state_->mutex.unlock();
}

void ThreadGroup::wait(unsigned)
{
    std::unique_lock<std::mutex> held(state_->mutex, std::adopt_lock);
    state_->changed.wait(held);
    held.release();
}

void ThreadGroup::notify_all()
{
    state_->changed.notify_all();
}

}  // namespace platform
