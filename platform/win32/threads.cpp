#include <windows.h>
#include <process.h>

#include <vector>

#include "platform/threads.h"

namespace platform {

unsigned processor_count()
{
    DWORD_PTR process = 0, system = 0;
    unsigned n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process; process &= process - 1)
            ++n;
    return n ? n : 1;
}

// Each thread waits on its own auto-reset event, so that no wake meant for
// one is taken by another; an event set while its thread was not yet waiting
// stays set, so that no wake is lost either.
struct ThreadGroup::State {
    unsigned helpers = 0;
    CRITICAL_SECTION lock;
    std::vector<HANDLE> events;  // by number; 0 where none could be made
    std::vector<char> waiting;
    std::vector<HANDLE> threads;
    std::function<void(unsigned)> body;
    struct Start {
        State* state;
        unsigned who;
    };
    std::vector<Start> starts;

    static unsigned __stdcall run(void* start)
    {
        const Start& s = *static_cast<Start*>(start);
        s.state->body(s.who);
        return 0;
    }
};

ThreadGroup::ThreadGroup(unsigned helpers) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.helpers = helpers;
    InitializeCriticalSection(&s.lock);
    s.events.resize(helpers + 1);
    s.waiting.resize(helpers + 1);
    s.starts.reserve(helpers);
    for (HANDLE& event : s.events)
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

ThreadGroup::~ThreadGroup()
{
    join();
    for (HANDLE event : state_->events)
        if (event)
            CloseHandle(event);
    DeleteCriticalSection(&state_->lock);
}

void ThreadGroup::start(const std::function<void(unsigned who)>& body)
{
    State& s = *state_;
    s.body = body;
    // A helper without an event could not wait; the calling thread must have one.
    if (!s.events[0])
        return;
    while (s.threads.size() < s.helpers) {
        const unsigned who = unsigned(s.threads.size()) + 1;
        if (!s.events[who])
            return;
        s.starts.push_back({&s, who});
        const uintptr_t thread = _beginthreadex(nullptr, 0, &State::run, &s.starts.back(), 0, nullptr);
        if (!thread) {
            s.starts.pop_back();
            return;
        }
        s.threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
}

unsigned ThreadGroup::started() const
{
    return unsigned(state_->threads.size());
}

void ThreadGroup::join()
{
    for (HANDLE thread : state_->threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    state_->threads.clear();
}

void ThreadGroup::lock()
{
    EnterCriticalSection(&state_->lock);
}

void ThreadGroup::unlock()
{
    LeaveCriticalSection(&state_->lock);
}

void ThreadGroup::wait(unsigned who)
{
    State& s = *state_;
    s.waiting[who] = 1;
    LeaveCriticalSection(&s.lock);
    WaitForSingleObject(s.events[who], INFINITE);
    EnterCriticalSection(&s.lock);
    s.waiting[who] = 0;
}

void ThreadGroup::notify_all()
{
    State& s = *state_;
    for (size_t who = 0; who < s.events.size(); ++who)
        if (s.waiting[who]) {
            s.waiting[who] = 0;
            SetEvent(s.events[who]);
        }
}

}  // namespace platform
