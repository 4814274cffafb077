#include <gtest/gtest.h>

#include <cstdlib>

#include "common/AnswerLimit.h"

namespace trellybridge {
namespace {

struct LimitCase {
    const char* configured;  // TRELLYBRIDGE_MAX_ANSWER_BYTES, or null
    std::size_t applies;
    bool refused;
};

TEST(AnswerLimit, OnlyAWholeNumberFromOneKiBTo64MiBIsTakenElseTheDefaultApplies) {
    const LimitCase cases[] = {
        {nullptr, kDefaultAnswerLimit, false},
        {"1024", 1024, false},
        {"67108864", 67108864, false},
        {"1023", kDefaultAnswerLimit, true},
        {"67108865", kDefaultAnswerLimit, true},
        {"0", kDefaultAnswerLimit, true},
        {"-1", kDefaultAnswerLimit, true},
        {"1MB", kDefaultAnswerLimit, true},
        {"18446744073709551615", kDefaultAnswerLimit, true},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.configured ? c.configured : "unset");
        if (c.configured)
            ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.configured, 1);
        else
            ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        EXPECT_EQ(maxAnswerBytes(), c.applies);
        std::string problem = answerLimitProblem();
        EXPECT_EQ(!problem.empty(), c.refused) << problem;
        if (c.refused) {
            EXPECT_NE(problem.find(std::string("not \"") + c.configured + "\""), std::string::npos)
                << problem;
        }
    }
    ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
}

}  // namespace
}  // namespace trellybridge
