// SPDX-License-Identifier: MIT
// libFuzzer entry: every input is a receive program; a broken check aborts with the steps
// that led to it. With PANEL_FUZZ_LOG set, every input run prints its steps (for reading seeds).
#include "Exchange.h"
#include "ReceiveProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Extra features for the fuzzer: which status texts a run showed, whether ReplyText reached its
// bound, how often the no-reply mark came. libFuzzer clears these before every run.
enum Feature { StatusKinds = 0, BoundReached = 16, MarkShown, FeatureCount };
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t features[FeatureCount];

void printLog(const std::uint8_t *data, std::size_t size, qsizetype lastLines)
{
    QStringList log;
    receiveprogram::run(data, size, &log);
    if (log.size() > lastLines) {
        std::fprintf(stderr, "... %lld steps before\n",
                     static_cast<long long>(log.size() - lastLines));
        log = log.mid(log.size() - lastLines);
    }
    for (const QString &line : log) std::fprintf(stderr, "%s\n", qPrintable(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool logAll = std::getenv("PANEL_FUZZ_LOG") != nullptr;
    if (logAll) printLog(data, size, 1 << 20);
    const receiveprogram::Outcome out = receiveprogram::run(data, size);
    for (int bit = 0; bit < BoundReached; ++bit)
        if (out.statusKinds & (1u << bit)) features[StatusKinds + bit] = 1;
    features[BoundReached] = out.longestReply == Exchange::MaxReplyLength;
    features[MarkShown] = std::uint8_t(std::min(out.marks, 255));
    if (!out.violation.isEmpty()) {
        if (!logAll) printLog(data, size, 60);
        std::fprintf(stderr, "receive path check failed: %s\n", qPrintable(out.violation));
        std::abort();
    }
    return 0;
}
