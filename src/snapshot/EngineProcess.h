#pragma once
// Ending the imaging engine from the window (its abort). Only our engine is ended: a process
// run by this user whose executable name is "snapshot" or "snapshot.exe", compared whole and
// without regard to case; a process merely named "...snapshot" is spared. Of those, only the
// engines of the window's own application folder are ended: another installation's image
// (another folder of the same user) goes on.
#include <string>
#include <vector>

namespace corvane::snapshot {

// Sends SIGTERM to each engine of the application folder (the engine removes its partial image
// and exits 0). Returns how many processes were signalled.
int endEngineProcesses(const std::string& appFolder);

// The name test alone, for callers and tests: true for "snapshot", "SNAPSHOT.EXE".
bool isEngineProcessName(const char* name);

// The processes endEngineProcesses would end, read from a proc folder ("/proc"); the calling
// process is never among them.
std::vector<int> engineProcessIds(const char* procRoot);

// The engines of one application folder among them: the one that holds the folder's status
// file, and those running in the folder (the window starts its engine there; one that has not
// yet taken the status file is found so too).
std::vector<int> folderEngineProcessIds(const char* procRoot, const std::string& appFolder);

}  // namespace corvane::snapshot
