#pragma once

#include "RandomSource.h"

#include <deque>
#include <vector>

namespace quorel::test {

// Coin tosses given by the test, in order.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<bool> tosses) : tosses_(tosses.begin(), tosses.end()) {}
    bool coinToss() override
    {
        if (tosses_.empty()) return false;
        const bool toss = tosses_.front();
        tosses_.pop_front();
        return toss;
    }

private:
    std::deque<bool> tosses_;
};

}  // namespace quorel::test
