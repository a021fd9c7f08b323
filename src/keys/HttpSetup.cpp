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

std::optional<CURLcode> PerformInSteps(CURL* curl, int waitMs, const std::function<bool()>& between) {
  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  curl_multi_add_handle(multi, curl);
  std::optional<CURLcode> result;
  int running = 1;
  for (;;) {
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      result = CURLE_OK;
      while (CURLMsg* m = curl_multi_info_read(multi, &left))
        if (m->msg == CURLMSG_DONE) result = m->data.result;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    if (!between()) break;
  }
  curl_multi_remove_handle(multi, curl);
  curl_multi_cleanup(multi);
  return result;
}

}  // namespace corvane::keys
