#include "platform/core/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velm {
namespace {

// Without SOURCE_DATE_EPOCH a job's time is the time it began, though the
// clock moves on while it runs; between jobs it is now.
TEST(Clock, AJobKeepsTheTimeItBeganAt)
{
    unsetenv("SOURCE_DATE_EPOCH");
    std::time_t began = 0;
    {
        const DocumentTimeScope job;
        began = documentTime();
        while (std::time(nullptr) == began) // the next second
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        {
            const DocumentTimeScope inner;
            EXPECT_EQ(documentTime(), began);
        }
        EXPECT_EQ(documentTime(), began);
    }
    EXPECT_GT(documentTime(), began);
    setenv("SOURCE_DATE_EPOCH", "86400", 1);
    {
        const DocumentTimeScope job;
        EXPECT_EQ(documentTime(), 86400);
    }
    unsetenv("SOURCE_DATE_EPOCH");
}

} // namespace
} // namespace velm
