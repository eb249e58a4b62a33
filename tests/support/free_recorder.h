#pragma once

#include <vector>

namespace lucentor::testing {

// Records, in order, every address that operator delete frees while an instance is alive.
// The test binary replaces the global operator new and delete for this; recording is
// single-threaded and meant to surround one deletion at a time.
class FreeRecorder {
public:
    FreeRecorder();
    ~FreeRecorder();
    FreeRecorder(const FreeRecorder&) = delete;
    FreeRecorder& operator=(const FreeRecorder&) = delete;

    // The addresses freed so far, in order.
    std::vector<const void*> freed() const;
    // The addresses freed so far that are among `records`, in order, each as often as it was
    // freed: the scene's own buffers, freed beside its records, are left out.
    std::vector<const void*> freedAmong(const std::vector<const void*>& records) const;
};

// Counts the calls of operator new made while an instance is alive, through the same
// replaced operator; single-threaded as well, one instance at a time.
class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // The allocations counted so far.
    int count() const;
};

}  // namespace lucentor::testing
