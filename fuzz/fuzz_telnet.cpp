// SPDX-License-Identifier: MIT
// libFuzzer entry for the Telnet receive path: every input is a server's stream or a program
// that writes one (see TelnetProgram.h); a broken check aborts with the pieces that led to it.
#include "TelnetProgram.h"

#include <cstdio>
#include <cstdlib>

namespace {

// libtelnet carries no coverage in this build; tell the fuzzer when a run reached the codec's
// guards, so that inputs which do are kept.
enum Feature { Guarded, FeatureCount };
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t features[FeatureCount];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const telnetprogram::Outcome out = telnetprogram::run(data, size);
    features[Guarded] = std::uint8_t(out.faults > 255 ? 255 : out.faults);
    if (!out.violation.isEmpty()) {
        QStringList log;
        telnetprogram::run(data, size, &log);
        if (log.size() > 40) log = log.mid(log.size() - 40);
        for (const QString &line : log) std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fprintf(stderr, "telnet check failed: %s\n", qPrintable(out.violation));
        std::abort();
    }
    return 0;
}
