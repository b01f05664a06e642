// SPDX-License-Identifier: MIT
#include "Plugins.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace {

QString pluginPath(const char *name, const char *built)
{
    const QString programs = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(
        programs + QLatin1String("/" PANEL_PLUGINS_FROM_PROGRAMS "/") + QLatin1String(name));
    const QString tree = QFileInfo(QStringLiteral(PANEL_BUILD_TREE)).canonicalFilePath();
    if (QFileInfo::exists(installed) || tree.isEmpty() ||
        !(programs + u'/').startsWith(tree + u'/'))
        return installed;
    return QString::fromUtf8(built);
}

template <typename Factory> Factory *load(const char *name, const char *built, QString *why)
{
    static QString error;
    static Factory *const loaded = [&] {
        static QPluginLoader loader(pluginPath(name, built));
        loader.setLoadHints(QLibrary::PreventUnloadHint);
        auto *f = qobject_cast<Factory *>(loader.instance());
        if (!f) error = loader.errorString();
        return f;
    }();
    *why = error;
    return loaded;
}

} // namespace

ServiceClientFactory *Plugins::serviceClients(QString *why)
{
    return load<ServiceClientFactory>("service-client.so", PANEL_SERVICE_CLIENT_BUILT, why);
}

NetLinkFactory *Plugins::netLinks(QString *why)
{
    return load<NetLinkFactory>("net-link.so", PANEL_NET_LINK_BUILT, why);
}
