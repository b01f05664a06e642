// SPDX-License-Identifier: MIT
#include "PjlinkProgram.h"

#include "PjlinkProtocol.h"

#include <array>

namespace pjlinkprogram {
namespace {

using namespace pjlink;

constexpr QByteArrayView Random = "498e4a67";
constexpr QByteArrayView Password = "JBMIAProjectorLink";

// Replies as they come: each state, a lamp time, garble, and none.
constexpr std::array<const char *, 8> Replies{"80\r", "00\r",   "28\r", "10\r",
                                              "3\r",  "0123\r", "?\r",  nullptr};

QString lineProblem(const QByteArray &line)
{
    if (!line.endsWith('\r') || line.count('\r') != 1) return QStringLiteral("not one line");
    if (line.size() > MaxLine) return QStringLiteral("longer than a command line");
    if (!(line.startsWith('%') && line.size() > 1 && line.at(1) >= '0' && line.at(1) <= '9') &&
        !line.startsWith("PJLINK "))
        return QStringLiteral("no answer's header");
    for (qsizetype i = 0; i + 1 < line.size(); ++i)
        if (line.at(i) < 0x20 || line.at(i) > 0x7E) return QStringLiteral("not printable ASCII");
    return {};
}

struct Run
{
    QByteArray output;
    QString violation;
    int commands = 0;
};

Run feed(const QByteArray &bytes, bool password, unsigned seed, bool cut, QStringList *log)
{
    Session s(password ? Password.toByteArray() : QByteArray(), Random.toByteArray());
    Run run;
    unsigned state = seed * 2654435761u + 1;
    const auto draw = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (qsizetype at = 0; at < bytes.size() && run.violation.isEmpty();) {
        const qsizetype n = cut ? 1 + qsizetype(draw() % 600) : bytes.size();
        s.feed(QByteArrayView(bytes).sliced(at, std::min(n, bytes.size() - at)));
        at += n;
        while (const std::optional<Session::Step> step = s.next()) {
            QByteArray line = step->answer;
            if (step->mapping) {
                ++run.commands;
                QList<pjlink::Outcome> outcomes;
                for (int i = 0; i < step->mapping->codeCount(); ++i) {
                    const char *reply = Replies.at(draw() % Replies.size());
                    outcomes.append(
                        {reply != nullptr,
                         decodeReply(commandLine(step->mapping->codes[i]), QByteArrayView(reply))});
                }
                line = answer(*step->mapping, outcomes, {});
            }
            if (log) *log << QStringLiteral("%1 -> %2").arg(at).arg(QString::fromLatin1(line));
            if (const QString problem = lineProblem(line); !problem.isEmpty())
                run.violation = problem + ": " + QString::fromLatin1(line.toPercentEncoding());
            run.output += line;
            if (step->close) run.output += "<close>";
            if (step->close != s.isClosing()) run.violation = QStringLiteral("close untold");
        }
        if (cut && s.held() >= s.lineLimit())
            run.violation = QStringLiteral("holds %1 bytes").arg(s.held());
    }
    return run;
}

} // namespace

Outcome run(const std::uint8_t *input, std::size_t size, QStringList *log)
{
    if (size == 0) return {};
    const bool password = input[0] & 1;
    const unsigned seed = input[0] >> 2;
    QByteArray bytes(reinterpret_cast<const char *>(input + 1), qsizetype(size - 1));
    if (password && (input[0] & 2)) bytes.prepend(digest(Random, Password));
    const Run whole = feed(bytes, password, seed, false, nullptr);
    const Run pieces = feed(bytes, password, seed, true, log);
    QString violation = !whole.violation.isEmpty() ? whole.violation : pieces.violation;
    // The outcomes are drawn in another order when cut; the lines' count and headers are not.
    const auto shape = [](const QByteArray &out) {
        QList<QByteArray> heads;
        for (const QByteArray &l : out.split('\r')) heads << l.left(6);
        return heads;
    };
    if (violation.isEmpty() && shape(whole.output) != shape(pieces.output))
        violation = QStringLiteral("the answers depend on how the bytes were cut");
    return {violation, pieces.output, pieces.commands};
}

} // namespace pjlinkprogram
