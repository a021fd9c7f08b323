#pragma once

namespace corvane::platform {

// Waits and "let the window system process pending events" go through here, so tests can
// replace them (a test never sleeps for real).
class Waiter {
 public:
  virtual ~Waiter() = default;
  virtual void sleep(int milliseconds) = 0;
  virtual void processEvents() = 0;
};

Waiter& waiter();
// Installs a waiter (nullptr restores the real one). The caller keeps ownership.
void setWaiter(Waiter* w);

inline void waitMs(int milliseconds) { waiter().sleep(milliseconds); }
inline void doEvents() { waiter().processEvents(); }

}  // namespace corvane::platform
