// SPDX-License-Identifier: MIT
#include "NetLink.h"
#include "NetSocket.h"

#include <QObject>

class NetLinkPlugin final : public QObject, public NetLinkFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NetLinkFactory_iid)
    Q_INTERFACES(NetLinkFactory)
public:
    std::unique_ptr<NetLink> create(const QString &device, NetLink::Events &events) override
    {
        return std::make_unique<NetSocket>(device, events);
    }
};

#include "NetLinkPlugin.moc"
