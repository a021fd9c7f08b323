#pragma once
// What every libcurl transfer to the backup server shares.
#include <QByteArray>

namespace corvane::keys {

// libcurl's global start-up, once per process.
void EnsureCurlInitialised();
// The no-proxy list for a transfer: the environment's entries plus the loopback addresses,
// which never go through a proxy.
QByteArray NoProxyList();

}  // namespace corvane::keys
