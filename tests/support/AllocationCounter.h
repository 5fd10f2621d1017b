#pragma once
// Counts heap allocations made on threads other than the test's own while
// counting is on. Replaces the global allocation functions: include it in
// exactly one source file of an executable of its own.
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace pemblor::test {

inline std::atomic<bool> g_countAllocations{false};
inline std::atomic<long> g_allocations{0};
inline std::thread::id g_testThread;

// Counting runs from construction to destruction; the test's thread is the
// constructing one.
class AllocationCount {
public:
    AllocationCount()
    {
        g_testThread = std::this_thread::get_id();
        g_allocations = 0;
        g_countAllocations = true;
    }
    ~AllocationCount() { g_countAllocations = false; }
    long Stop()
    {
        g_countAllocations = false;
        return g_allocations.load();
    }
};

} // namespace pemblor::test

// free() of what the replaced operator new returned is the matching call.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    using namespace pemblor::test;
    if (g_countAllocations.load(std::memory_order_relaxed) && std::this_thread::get_id() != g_testThread)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// The nothrow forms too, so that every allocation a library makes with them
// (Qt does) meets the matching release here, under a sanitizer as well.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
