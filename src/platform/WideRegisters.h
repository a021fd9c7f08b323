#pragma once

namespace corvane::platform {

// Qt's string hashing leaves the upper halves of the wide vector registers in use, and the
// processor then makes every plain SSE instruction that follows wait on them: SQLite (built for
// plain SSE) ran a look through a million rows at half speed (0.74 s against 0.39 s), on this
// thread and on any thread started from it. Clearing them costs a cycle; the database component
// does it before each step and a worker when it starts.
void clearWideRegisters();

}  // namespace corvane::platform
