#include "platform/WideRegisters.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace corvane::platform {

#if defined(__x86_64__)
namespace {
__attribute__((target("avx"))) void zeroUpper() { _mm256_zeroupper(); }
const bool kHasAvx = __builtin_cpu_supports("avx");
}  // namespace

void clearWideRegisters() {
  if (kHasAvx) zeroUpper();
}
#else
void clearWideRegisters() {}
#endif

}  // namespace corvane::platform
