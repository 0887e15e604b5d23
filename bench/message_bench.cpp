// bench/message_bench.cpp: the cost of taking a selection of refs apart from its front.
#include "platform/app/Message.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

// Nanoseconds per RemoveData("refs", 0) while emptying a field of count refs.
double ns_per_removal(int count)
{
    BMessage message('DATA');
    entry_ref ref;
    ref.directory_path = "/home/user/Music/Some Artist/Some Album";
    for (int i = 0; i < count; ++i) {
        ref.name = "Track " + std::to_string(i) + ".mp3";
        message.AddRef("refs", &ref);
    }
    auto start = std::chrono::steady_clock::now();
    int removed = 0;
    while (message.FindRef("refs", 0, &ref) == B_OK && message.RemoveData("refs", 0) == B_OK)
        ++removed;
    auto elapsed = std::chrono::steady_clock::now() - start;
    if (removed != count)
        std::fprintf(stderr, "removed %d of %d\n", removed, count);
    return std::chrono::duration<double, std::nano>(elapsed).count() / count;
}

} // namespace

int main()
{
    const int kRuns = 7;
    std::printf("FindRef + RemoveData(\"refs\", 0) until empty, median of %d runs\n", kRuns);
    for (int count : { 10000, 100000 }) {
        std::vector<double> runs;
        for (int i = 0; i < kRuns; ++i)
            runs.push_back(ns_per_removal(count));
        std::sort(runs.begin(), runs.end());
        std::printf("%7d refs: %8.1f ns per removal\n", count, runs[kRuns / 2]);
    }
    return 0;
}
