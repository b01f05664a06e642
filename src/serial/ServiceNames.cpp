// SPDX-License-Identifier: MIT
#include "ServiceNames.h"

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
