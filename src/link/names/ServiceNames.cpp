// SPDX-License-Identifier: MIT
#include "ServiceNames.h"

#include "LinkFailure.h"

QString ServiceNames::projectorPath(const QString &name)
{
    QString path = QLatin1String(ManagerPath) + QLatin1String("/Projector/");
    const QByteArray utf8 = name.toUtf8();
    if (utf8.isEmpty()) return path + u'_';
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'))
            path += QLatin1Char(c);
        else
            path += QStringLiteral("_%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return path;
}

bool ServiceNames::handles(const QString &device)
{
    return device.startsWith(QLatin1String(DeviceScheme), Qt::CaseInsensitive);
}

QString ServiceNames::projectorName(const QString &device)
{
    return handles(device) ? device.mid(qsizetype(std::char_traits<char>::length(DeviceScheme)))
                           : QString();
}

QString ServiceNames::problem(const QString &device, int port)
{
    if (!handles(device) || !projectorName(device).isEmpty()) return {};
    return LinkFailure{
        LinkFailure::Action::Open, LinkFailure::Cause::ServiceNoName, port, device, {}}
        .text(LinkFailure::Reader::Script);
}
