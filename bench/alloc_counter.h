#pragma once
namespace larkspire::bench {
long long heapInUse();
void resetHeapPeak();
long long heapPeak();

// Peak heap bytes held above the starting level while f runs.
template <class F> long long peakExtraBytes(F&& f)
{
    resetHeapPeak();
    const long long before = heapInUse();
    f();
    return heapPeak() - before;
}
} // namespace larkspire::bench
