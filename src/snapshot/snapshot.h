/* The imaging engine's control library (libsnapshot.so), as the window loads it at run time.
 * Plain C functions; the window resolves each by name and treats a missing one as a missing
 * engine. Every call is safe when no engine is running: the tests then read "not paused" and
 * "no image in progress", and the record reads as zeros. */
#ifndef CORVANE_SNAPSHOT_H
#define CORVANE_SNAPSHOT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Filled by SShGetStatusInfo. Only the first five fields carry meaning for callers; a byte
 * count is High * 2^32 + Low, the low word taken unsigned. The rest is reserved (zeroed). */
typedef struct SShStatusInfo {
  int32_t StatusCode; /* 0 = OK; any other value is a failure code (see the engine's README) */
  int32_t BytesReadHigh;
  int32_t BytesReadLow;
  int32_t BytesWrittenHigh;
  int32_t BytesWrittenLow;
  unsigned char Reserved[84];
} SShStatusInfo;

#ifdef __cplusplus
static_assert(sizeof(SShStatusInfo) == 104, "the status record is 104 bytes");
#else
_Static_assert(sizeof(SShStatusInfo) == 104, "the status record is 104 bytes");
#endif

int32_t SShConnect(void);
int32_t SShDisconnect(void);
int32_t SShGetStatusInfo(SShStatusInfo* info);
/* 16-bit truth values: non-zero = paused. */
int16_t SShIsPaused(void);
/* Read so by the window: zero = an image is being written, non-zero = none in progress. */
int16_t SShIsInProgress(void);
int32_t SShPause(void);
int32_t SShResume(void);

#ifdef __cplusplus
}
#endif

#endif
