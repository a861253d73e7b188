#include "RandomSource.h"

#include <QRandomGenerator>

namespace quorel {

namespace {
class SystemRandom final : public RandomSource {
public:
    bool coinToss() override { return (QRandomGenerator::system()->generate() & 1u) != 0; }
};
}  // namespace

std::shared_ptr<RandomSource> RandomSource::system()
{
    static const std::shared_ptr<RandomSource> source = std::make_shared<SystemRandom>();
    return source;
}

}  // namespace quorel
