// SPDX-License-Identifier: MIT
#include "NetAddress.h"

using Cause = LinkFailure::Cause;

namespace {
constexpr QLatin1String RawScheme("socket://");
constexpr QLatin1String TelnetScheme("rfc2217://");

NetAddress failed(NetAddress a, Cause cause, const QString &detail = {})
{
    a.error = cause;
    a.detail = detail;
    return a;
}
} // namespace

bool NetAddress::handles(const QString &device)
{
    return device.startsWith(RawScheme, Qt::CaseInsensitive) ||
           device.startsWith(TelnetScheme, Qt::CaseInsensitive);
}

NetAddress NetAddress::parse(const QString &device)
{
    NetAddress a;
    QString rest;
    if (device.startsWith(TelnetScheme, Qt::CaseInsensitive)) {
        a.kind = Kind::Rfc2217;
        rest = device.mid(TelnetScheme.size());
    } else if (device.startsWith(RawScheme, Qt::CaseInsensitive)) {
        rest = device.mid(RawScheme.size());
    } else {
        return failed(a, Cause::AddressNoScheme, device);
    }
    NetAddress hostPort = parseHostPort(rest);
    hostPort.kind = a.kind;
    return hostPort;
}

NetAddress NetAddress::parseHostPort(const QString &rest, quint16 defaultPort)
{
    NetAddress a;
    // An IPv6 address is written in brackets, so that its colons are not the port's.
    QString port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0) return failed(a, Cause::AddressBadHost, rest);
        a.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (after.isEmpty() && defaultPort == 0) return failed(a, Cause::AddressNoPort);
        if (!after.isEmpty() && !after.startsWith(u':'))
            return failed(a, Cause::AddressBadHost, rest);
        port = after.isEmpty() ? QString::number(defaultPort) : after.mid(1);
        if (a.host.isEmpty()) return failed(a, Cause::AddressNoHost);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0 && (rest.isEmpty() || defaultPort == 0))
            return failed(a, rest.isEmpty() ? Cause::AddressNoHost : Cause::AddressNoPort);
        a.host = colon < 0 ? rest : rest.left(colon);
        port = colon < 0 ? QString::number(defaultPort) : rest.mid(colon + 1);
        if (a.host.isEmpty()) return failed(a, Cause::AddressNoHost);
        // A bare IPv6 address has colons of its own; a bracket here belongs to none.
        if (a.host.contains(u':') || a.host.contains(u'[') || a.host.contains(u']'))
            return failed(a, Cause::AddressBadHost, a.host);
    }
    if (port.isEmpty()) return failed(a, Cause::AddressNoPort);
    bool digits = port.size() <= 9;
    for (const QChar c : port) digits = digits && c.isDigit() && c.unicode() < 128;
    if (!digits) return failed(a, Cause::AddressBadPort, port);
    const int number = port.toInt();
    if (number < 1 || number > 65535)
        return failed(a, Cause::AddressPortOutOfRange, QString::number(number));
    a.port = quint16(number);
    return a;
}

QString NetAddress::problem(const QString &device, int port)
{
    if (!handles(device)) return {};
    const NetAddress a = parse(device);
    if (a.isValid()) return {};
    return LinkFailure{LinkFailure::Action::Open, a.error, port, device, a.detail}.text(
        LinkFailure::Reader::Script);
}
