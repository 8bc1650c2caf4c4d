#include "standin/ProbeHooks.h"

#include <intrin.h>

#include <atomic>
#include <map>

namespace snapvane::standin::Probe {

namespace {

struct ArmedFailure {
    std::wstring operation;  // empty: any host call
    long nth;                // of that operation's calls (or of all calls)
    Failure failure;
};

struct State {
    std::vector<std::wstring> log;
    std::map<std::wstring, long> calls;
    long hostCalls = 0;
    unsigned long long hostCallTicks = 0;
    long timedHostSpans = 0;
    long createdThroughClassObjects = 0;
    std::vector<ArmedFailure> armed;
};

State& Current() {
    static State state;
    return state;
}

std::atomic<long> liveObjects{0};

} // namespace

void Reset() { Current() = State(); }

long LiveObjects() { return liveObjects.load(); }
long CreatedThroughClassObjects() { return Current().createdThroughClassObjects; }
const std::vector<std::wstring>& Log() { return Current().log; }

long Calls(const std::wstring& operation) {
    const auto& calls = Current().calls;
    auto found = calls.find(operation);
    return found == calls.end() ? 0 : found->second;
}

long HostCalls() { return Current().hostCalls; }
unsigned long long HostCallTicks() { return Current().hostCallTicks; }
long TimedHostSpans() { return Current().timedHostSpans; }

void FailCall(const std::wstring& operation, long nth, HRESULT hr, const std::wstring& description) {
    State& state = Current();
    state.armed.push_back({operation, Calls(operation) + nth, {hr, description}});
}

void FailHostCall(long k, HRESULT hr, const std::wstring& description) {
    State& state = Current();
    state.armed.push_back({L"", state.hostCalls + k, {hr, description}});
}

std::optional<Failure> EnterHostCall(const wchar_t* operation) {
    State& state = Current();
    state.log.emplace_back(operation);
    const long count = ++state.calls[operation];
    const long all = ++state.hostCalls;
    for (auto it = state.armed.begin(); it != state.armed.end(); ++it) {
        const bool hit = it->operation.empty() ? it->nth == all : (it->operation == operation && it->nth == count);
        if (hit) {
            Failure failure = it->failure;
            state.armed.erase(it);
            return failure;
        }
    }
    return std::nullopt;
}

namespace {
bool timing = false;
int clockDepth = 0;
unsigned long long clockStart = 0;
} // namespace

void TimeHostCalls(bool on) {
    timing = on;
    clockDepth = 0;
}

HostCallClock::HostCallClock() noexcept {
    if (timing && clockDepth++ == 0) clockStart = __rdtsc();
}

HostCallClock::~HostCallClock() {
    if (!timing || clockDepth == 0) return;
    if (--clockDepth > 0) return;
    const unsigned long long end = __rdtsc();
    State& state = Current();
    state.hostCallTicks += end - clockStart;
    ++state.timedHostSpans;
}

void ObjectCreated() noexcept { ++liveObjects; }
void ObjectDestroyed() noexcept { --liveObjects; }
void CreatedThroughClassObject() noexcept { ++Current().createdThroughClassObjects; }

} // namespace snapvane::standin::Probe
