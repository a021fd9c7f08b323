#pragma once
// Ending the imaging engine from the window (its abort). Only our engine is ended: a process
// run by this user whose executable name is "snapshot" or "snapshot.exe", compared whole and
// without regard to case; a process merely named "...snapshot" is spared.
#include <vector>

namespace corvane::snapshot {

// Sends SIGTERM to each matching process (the engine removes its partial image and exits 0).
// Returns how many processes were signalled.
int endEngineProcesses();

// The name test alone, for callers and tests: true for "snapshot", "SNAPSHOT.EXE".
bool isEngineProcessName(const char* name);

// The processes endEngineProcesses would end, read from a proc folder ("/proc"); the calling
// process is never among them.
std::vector<int> engineProcessIds(const char* procRoot);

}  // namespace corvane::snapshot
