// Every test program runs on one single-threaded apartment, like the host's
// user-interface thread.
#include <gtest/gtest.h>

#include <objbase.h>
#include <ole2.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
