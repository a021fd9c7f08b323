// A stand-in for the engine's control library, loaded by the tests through the same path as the
// real one. Built twice: complete, and without SShResume (an incomplete library).
#include "snapshot/snapshot.h"

extern "C" {

int32_t SShConnect(void) { return 0; }
int32_t SShDisconnect(void) { return 0; }
int32_t SShGetStatusInfo(SShStatusInfo* info) {
  *info = SShStatusInfo{};
  info->BytesReadLow = int32_t(0x80000000u);  // 2^31: a low word past the signed range
  return 0;
}
int16_t SShIsPaused(void) { return 0; }
int16_t SShIsInProgress(void) { return 1; }
int32_t SShPause(void) { return 0; }
#ifndef FAKE_SNAPSHOT_WITHOUT_RESUME
int32_t SShResume(void) { return 0; }
#endif
}
