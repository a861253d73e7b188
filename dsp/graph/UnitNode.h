#pragma once

#include "EffectNode.h"

#include <memory>

namespace quorel {

// An effect node that keeps its unit by the unit's class: whoever holds the node configures and
// reads the unit through that class's own interface, so a call meant for another class of unit
// does not compile.
template <typename Unit>
class UnitNode : public EffectNode {
public:
    explicit UnitNode(std::unique_ptr<Unit> unit) : EffectNode(std::move(unit)), unit_(static_cast<Unit*>(audioUnit()))
    {
    }

    Unit& unit() const { return *unit_; }

private:
    Unit* unit_;  // the unit the node owns, by its class
};

}  // namespace quorel
