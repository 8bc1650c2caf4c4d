// One picture's budget: the time and the memory that reading it may take.
// Every reader of the picture draws on the same budget while it works (the
// identification, the decoders, the platform's codecs, the metafile player),
// so a file that asks for more than it declared is stopped where it asks,
// not only where an estimate made beforehand would have stopped it.
#pragma once

#include <chrono>
#include <cstddef>

namespace snapvane {

// What became of a picture read into its place under its budget.
enum class ReadOutcome {
    Shown,
    Unreadable,     // the bytes are damaged
    TooMuchWork,    // it asks for more work than the budget gives
    TooMuchMemory,  // it needs more memory than the budget gives
};

class PictureBudget {
public:
    using Clock = std::chrono::steady_clock;
    // Where a budget reads the work done so far. The viewer passes the
    // processor time of its own thread, so that a busy machine slows a
    // picture without refusing it.
    using WorkClock = std::chrono::nanoseconds (*)();

    // What one picture may take on the host's user-interface thread: it is
    // shown or refused well within two seconds of its choice, and holds at
    // most 256 MB however large the file says it is.
    static constexpr Clock::duration kTime = std::chrono::milliseconds(1500);
    static constexpr std::size_t kBytes = 256u * 1024 * 1024;
    // However slowly the thread is given the processor, a picture ends within
    // this many times its time.
    static constexpr int kSlowestMachine = 4;
    static constexpr Clock::duration kWorkReadingInterval = std::chrono::milliseconds(10);

    PictureBudget() : PictureBudget(kTime, kBytes) {}
    PictureBudget(Clock::duration time, std::size_t bytes, WorkClock workClock = nullptr)
        : time_(time), workClock_(workClock), workStart_(workClock ? workClock() : std::chrono::nanoseconds(0)),
          start_(Clock::now()), deadline_(start_ + time * (workClock ? kSlowestMachine : 1)), bytesLeft_(bytes) {}

    // True once the picture has taken its time; a reader checks between
    // pieces of work (records, rows, blocks) and gives up.
    bool TimeIsUp() {
        const Clock::time_point now = Clock::now();
        if (now >= deadline_) return true;
        // The thread cannot have worked longer than the time gone by, and
        // reading its work may cost a call into the system: it is read only
        // once the picture's time has gone by, and then now and again.
        if (now < start_ + time_ || now < nextWorkReading_) return false;
        nextWorkReading_ = now + kWorkReadingInterval;
        return !workClock_ || workClock_() - workStart_ >= time_;
    }

    // Takes bytes from the budget before they are allocated; false, taking
    // nothing, when they would pass it.
    bool Take(std::size_t bytes) {
        if (bytes > bytesLeft_) return false;
        bytesLeft_ -= bytes;
        return true;
    }
    // Gives back bytes taken once their memory is freed.
    void GiveBack(std::size_t bytes) { bytesLeft_ += bytes; }
    std::size_t BytesLeft() const { return bytesLeft_; }

private:
    Clock::duration time_;
    WorkClock workClock_;
    std::chrono::nanoseconds workStart_;
    Clock::time_point start_;
    Clock::time_point deadline_;
    Clock::time_point nextWorkReading_{};
    std::size_t bytesLeft_;
};

// Bytes taken from a budget for as long as this lives.
class BudgetedBytes {
public:
    BudgetedBytes(PictureBudget& budget, std::size_t bytes) : budget_(budget), bytes_(budget.Take(bytes) ? bytes : 0), taken_(bytes_ == bytes) {}
    BudgetedBytes(const BudgetedBytes&) = delete;
    BudgetedBytes& operator=(const BudgetedBytes&) = delete;
    ~BudgetedBytes() { budget_.GiveBack(bytes_); }
    // False when the budget could not spare them: nothing was taken.
    explicit operator bool() const { return taken_; }

private:
    PictureBudget& budget_;
    std::size_t bytes_;
    bool taken_;
};

} // namespace snapvane
