#pragma once
// One image from start to end: a full image of the source drives, or a differential against
// the hash list of a full one.
#include <string>

#include "snapshot/EngineOptions.h"
#include "platform/PathMap.h"

namespace corvane::snapshot {

class Control;

// Name of the entry that lists, in a differential, the paths deleted since the full image.
extern const char* const kDeletedListName;

// Writes the image (and its hash list with -W) and puts them in place only when complete.
// Throws EngineFailure; nothing of this run is left on the destination then.
void makeImage(const EngineOptions& options, const platform::PathMap& drives, Control& control);

}  // namespace corvane::snapshot
