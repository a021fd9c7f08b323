#pragma once

namespace corvane::platform {

// Waits and "let the window system process pending events" go through here, so tests can
// replace them (a test never sleeps for real).
class Waiter {
 public:
  virtual ~Waiter() = default;
  virtual void sleep(int milliseconds) = 0;
  virtual void processEvents() = 0;
  // For loops that go through many small steps (a file each): lets the window system in often
  // enough to paint and take clicks, but not at every step, where painting would cost more
  // than the work. The real waiter does it at most every few milliseconds; by default (and in
  // tests) every call processes events.
  virtual void keepResponsive() { processEvents(); }
  // A wait that keeps the window painting when made on the window's thread (user input stays
  // queued until the wait is over); a plain sleep by default.
  virtual void sleepPainting(int milliseconds) { sleep(milliseconds); }
  // Lets the window paint (and timers run) without taking the user's clicks and keys, for a
  // wait that must not start anything underneath itself; the real waiter does it at most every
  // few milliseconds, so a loop of many small steps may call it at each; nothing by default.
  virtual void paintPending() {}
};

Waiter& waiter();
// Installs a waiter (nullptr restores the real one). The caller keeps ownership.
void setWaiter(Waiter* w);

inline void waitMs(int milliseconds) { waiter().sleep(milliseconds); }
void doEvents();
void keepResponsive();
void waitPaintingMs(int milliseconds);

// How many of the three calls above are running on this thread, one inside the other. Code
// that runs while events are let in sees a higher number than the code that let them in, so a
// caller can tell its own work from a handler (a click, a key) that ran underneath it.
int eventNesting();
inline void paintPending() { waiter().paintPending(); }

// A user's action that waits for a database the service keeps busy paints the window but takes
// no clicks or keys meanwhile (a few seconds at most): the pointer shows busy for the whole wait.
// QtCore has no pointer, so the window's program installs how it is shown (nullptr: not at all).
// Only waits on the window's thread show it.
using BusyPointerHook = void (*)(bool busy);
void setBusyPointerHook(BusyPointerHook hook);
class BusyPointerWhileWaiting {
 public:
  BusyPointerWhileWaiting();
  ~BusyPointerWhileWaiting();
  BusyPointerWhileWaiting(const BusyPointerWhileWaiting&) = delete;
  BusyPointerWhileWaiting& operator=(const BusyPointerWhileWaiting&) = delete;

 private:
  BusyPointerHook shown_ = nullptr;
};

}  // namespace corvane::platform
