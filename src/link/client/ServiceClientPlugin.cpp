// SPDX-License-Identifier: MIT
#include "BusClient.h"
#include "BusListing.h"
#include "ServiceClient.h"

#include <QObject>

class ServiceClientPlugin final : public QObject, public ServiceClientFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ServiceClientFactory_iid)
    Q_INTERFACES(ServiceClientFactory)
public:
    std::unique_ptr<ServiceClient> create(const QString &device, ServiceClient::Lookup lookup,
                                          ServiceClient::Events &events) override
    {
        return std::make_unique<BusClient>(device, lookup, events);
    }
    std::unique_ptr<ServiceListing> list(ServiceListing::Events &events) override
    {
        return std::make_unique<BusListing>(events);
    }
};

#include "ServiceClientPlugin.moc"
