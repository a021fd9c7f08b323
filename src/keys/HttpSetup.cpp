#include "keys/HttpSetup.h"

#include <curl/curl.h>

#include <mutex>

namespace corvane::keys {

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray NoProxyList() {
  QByteArray list = qgetenv("no_proxy");
  if (list.isEmpty()) list = qgetenv("NO_PROXY");
  if (!list.isEmpty()) list += ',';
  return list + "localhost,127.0.0.1,::1";
}

}  // namespace corvane::keys
