// SPDX-License-Identifier: MIT
// libFuzzer entry for PJLink's request parser: every input is a client's bytes (see
// PjlinkProgram.h); a broken check aborts with the answers that led to it.
#include "PjlinkProgram.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const pjlinkprogram::Outcome out = pjlinkprogram::run(data, size);
    if (!out.violation.isEmpty()) {
        QStringList log;
        pjlinkprogram::run(data, size, &log);
        if (log.size() > 40) log = log.mid(log.size() - 40);
        for (const QString &line : log) std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fprintf(stderr, "pjlink check failed: %s\n", qPrintable(out.violation));
        std::abort();
    }
    return 0;
}
