#pragma once
#include <atomic>
#include <functional>

namespace corvane::platform {

// Runs work on a thread of its own while this thread calls answer at once and then every
// intervalMs until work is done, so the window answers meanwhile (for a step no loop of this
// thread could break up: a database sorting a large result, a sync of the file system). answer
// returning false raises the stop flag work is given. An exception of answer or of work is
// thrown here, once work has ended. A database statement does not run here but as a
// store::DatabaseJob (store/DatabaseJob.h), whose stop also ends the statement itself.
void runAside(const std::function<void(const std::atomic<bool>& stop)>& work, const std::function<bool()>& answer,
              int intervalMs);
// runAside with the window painting every 20 ms (clicks and keys wait until work is done).
void runAsidePainting(const std::function<void(const std::atomic<bool>& stop)>& work);

}  // namespace corvane::platform
