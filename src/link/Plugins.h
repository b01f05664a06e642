// SPDX-License-Identifier: MIT
#pragma once

#include "NetLink.h"
#include "ServiceClient.h"

#include <QString>

// The programs' plug-ins, each loaded at its first use and never unloaded: its objects may live
// until the program ends. Installed, they are found where the program's own directory says; a
// program that runs from the build tree takes those built with it. Null, with the loader's
// words in `why`, when one cannot be loaded.
namespace Plugins {
ServiceClientFactory *serviceClients(QString *why);
NetLinkFactory *netLinks(QString *why);
} // namespace Plugins
