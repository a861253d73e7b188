#pragma once

#include <cstdint>

namespace quorel::test {

// Counts calls of the global allocation functions (replaced for this test executable) while an
// AllocationCounter exists, and can make allocations fail on purpose.
class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    uint64_t allocations() const;
    uint64_t deallocations() const;
};

// While it exists, every allocation after the first `allowed` ones fails (nothrow forms return
// null, the others throw std::bad_alloc).
class AllocationFailure {
public:
    explicit AllocationFailure(uint64_t allowed);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;
};

}  // namespace quorel::test
