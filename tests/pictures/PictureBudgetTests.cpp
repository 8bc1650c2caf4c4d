// A picture's time is the work done for it: a thread that waits for the
// processor while other programs run is not refused for their work.
#include "pictures/PictureBudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace snapvane {
namespace {

std::atomic<long long> workDoneNs{0};
std::chrono::nanoseconds WorkDone() { return std::chrono::nanoseconds(workDoneNs.load()); }

TEST(PictureBudget, TimeIsTheWorkDoneAndAWaitEndsOnlyAtTheSlowestMachinesLimit) {
    using namespace std::chrono;
    workDoneNs = 0;
    PictureBudget budget(milliseconds(40), PictureBudget::kBytes, WorkDone);
    std::this_thread::sleep_for(milliseconds(80));  // waiting, as on a busy machine
    EXPECT_FALSE(budget.TimeIsUp()) << "time waited is not work";
    workDoneNs = duration_cast<nanoseconds>(milliseconds(40)).count();
    std::this_thread::sleep_for(PictureBudget::kWorkReadingInterval);
    EXPECT_TRUE(budget.TimeIsUp()) << "the work is the picture's time";

    workDoneNs = 0;
    PictureBudget stalled(milliseconds(20), PictureBudget::kBytes, WorkDone);
    std::this_thread::sleep_for(milliseconds(20) * PictureBudget::kSlowestMachine);
    EXPECT_TRUE(stalled.TimeIsUp()) << "however slow the machine, a picture ends";
}

} // namespace
} // namespace snapvane
