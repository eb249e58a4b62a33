#include "tests/support/free_recorder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

namespace {

// Fixed storage: recording must not allocate, or it would record itself.
constexpr int kMaxRecorded = 1 << 14;
std::array<const void*, kMaxRecorded> recorded;
int recordedCount = 0;
bool recording = false;
int allocationCount = 0;
bool counting = false;

void record(const void* address) {
    if (recording && address != nullptr && recordedCount < kMaxRecorded) {
        recorded[static_cast<std::size_t>(recordedCount++)] = address;
    }
}

}  // namespace

namespace lucentor::testing {

FreeRecorder::FreeRecorder() {
    recordedCount = 0;
    recording = true;
}

FreeRecorder::~FreeRecorder() { recording = false; }

// A member, not a static, so that it is only asked of a live recorder.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
std::vector<const void*> FreeRecorder::freed() const {
    recording = false;
    std::vector<const void*> result(recorded.begin(), recorded.begin() + recordedCount);
    recording = true;
    return result;
}

std::vector<const void*> FreeRecorder::freedAmong(const std::vector<const void*>& records) const {
    std::vector<const void*> result = freed();
    recording = false;
    std::erase_if(result, [&](const void* address) {
        return std::find(records.begin(), records.end(), address) == records.end();
    });
    recording = true;
    return result;
}

AllocationCounter::AllocationCounter() {
    allocationCount = 0;
    counting = true;
}

AllocationCounter::~AllocationCounter() { counting = false; }

// A member for the same reason as freed().
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
int AllocationCounter::count() const { return allocationCount; }

}  // namespace lucentor::testing

// Replacing new as well keeps every allocation and release in one matched malloc/free pair,
// also under AddressSanitizer. Raw malloc and free are the point here.
// NOLINTBEGIN(cppcoreguidelines-no-malloc)
void* operator new(std::size_t size) {
    if (counting) ++allocationCount;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

// The non-throwing forms too, since libFuzzer allocates with them: every form that the
// replaced delete may free must come from the same malloc.
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    if (counting) ++allocationCount;
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* address) noexcept {
    record(address);
    std::free(address);
}

void operator delete(void* address, std::size_t /*size*/) noexcept {
    record(address);
    std::free(address);
}

void operator delete(void* address, const std::nothrow_t& /*tag*/) noexcept {
    record(address);
    std::free(address);
}
// NOLINTEND(cppcoreguidelines-no-malloc)
