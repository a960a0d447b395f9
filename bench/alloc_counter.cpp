// Counts the heap in use by interposing the C allocator: every malloc in the
// process (Qt's included) passes through here, so a benchmark can read the
// peak number of bytes held while a piece of work ran.
#include "alloc_counter.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARKSPIRE_NO_ALLOCATOR_COUNT 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LARKSPIRE_NO_ALLOCATOR_COUNT 1
#endif

#if defined(LARKSPIRE_NO_ALLOCATOR_COUNT)
// The sanitizer owns the allocator: no counting (the figures read 0).
namespace larkspire::bench {
long long heapInUse() { return 0; }
void resetHeapPeak() {}
long long heapPeak() { return 0; }
} // namespace larkspire::bench
#else

#include <malloc.h>

#include <atomic>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {
std::atomic<long long> g_current{0};
std::atomic<long long> g_peak{0};

void added(void* p)
{
    if (!p)
        return;
    const long long now = g_current.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                          static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
void removed(void* p)
{
    if (p)
        g_current.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
}
} // namespace

extern "C" {
void* malloc(size_t size)
{
    void* p = __libc_malloc(size);
    added(p);
    return p;
}
void* calloc(size_t n, size_t size)
{
    void* p = __libc_calloc(n, size);
    added(p);
    return p;
}
void* realloc(void* old, size_t size)
{
    removed(old);
    void* p = __libc_realloc(old, size);
    added(p ? p : (size ? old : nullptr));
    return p;
}
void free(void* p)
{
    removed(p);
    __libc_free(p);
}
void* memalign(size_t alignment, size_t size)
{
    void* p = __libc_memalign(alignment, size);
    added(p);
    return p;
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    *out = memalign(alignment, size);
    return *out ? 0 : 12;
}
}

namespace larkspire::bench {
long long heapInUse() { return g_current.load(); }
void resetHeapPeak() { g_peak.store(g_current.load()); }
long long heapPeak() { return g_peak.load(); }
} // namespace larkspire::bench

#endif
