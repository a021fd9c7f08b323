#pragma once
// What every libcurl transfer to the backup server shares.
#include <curl/curl.h>

#include <QByteArray>
#include <functional>
#include <optional>

namespace corvane::keys {

// libcurl's global start-up, once per process.
void EnsureCurlInitialised();
// The no-proxy list for a transfer: the environment's entries plus the loopback addresses,
// which never go through a proxy.
QByteArray NoProxyList();

// Runs one transfer through libcurl's multi interface, so that the window thread can do other
// work while it waits: between is called after each wait for the network (waitMs at most) and
// ends the transfer early by returning false. Gives the transfer's result, or nothing when
// between ended it.
std::optional<CURLcode> PerformInSteps(CURL* curl, int waitMs, const std::function<bool()>& between);

}  // namespace corvane::keys
