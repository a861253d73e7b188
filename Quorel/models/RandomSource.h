#pragma once

#include <cstdint>
#include <memory>
#include <random>

namespace quorel {

// Where the blind test draws its coin tosses. The application uses the system's random
// generator; tests and tools inject a seeded or scripted one.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual bool coinToss() = 0;

    static std::shared_ptr<RandomSource> system();
};

// A reproducible source: the same seed gives the same tosses.
class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(uint64_t seed) : engine_(seed) {}
    bool coinToss() override { return (engine_() >> 63) != 0; }

private:
    std::mt19937_64 engine_;
};

}  // namespace quorel
