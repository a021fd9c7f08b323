// A stand-in for the engine's control library that lacks SShResume: an incomplete library, loaded
// by the tests through the same path as the real one.
#include "snapshot/snapshot.h"

extern "C" {

int32_t SShConnect(void) { return 0; }
int32_t SShDisconnect(void) { return 0; }
int32_t SShGetStatusInfo(SShStatusInfo* info) {
  *info = SShStatusInfo{};
  return 0;
}
int16_t SShIsPaused(void) { return 0; }
int16_t SShIsInProgress(void) { return 1; }
int32_t SShPause(void) { return 0; }
}
