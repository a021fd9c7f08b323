#include "platform/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace corvane::platform {

namespace {
class RealWaiter final : public Waiter {
 public:
  void sleep(int ms) override {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
  }
  void processEvents() override {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    sinceEvents_.start();
  }
  void keepResponsive() override {
    // 10 ms keeps clicks and painting prompt while a loop of tiny steps spends its time on them.
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= 10) processEvents();
  }
  void paintPending() override {
    if (sincePaint_.isValid() && sincePaint_.elapsed() < 10) return;
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sincePaint_.start();
  }
  void sleepPainting(int ms) override {
    if (ms <= 0) return;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
      sleep(ms);
      return;
    }
    // Paint and timer events run meanwhile; clicks and keys wait, so the action that waits is
    // never started a second time underneath itself.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QElapsedTimer sinceEvents_;
  QElapsedTimer sincePaint_;
};

RealWaiter realWaiter;
Waiter* installed = nullptr;
}  // namespace

Waiter& waiter() { return installed ? *installed : realWaiter; }
void setWaiter(Waiter* w) { installed = w; }

namespace {
thread_local int nesting = 0;

struct Nested {
  Nested() { ++nesting; }
  ~Nested() { --nesting; }
};
}  // namespace

void doEvents() {
  const Nested nested;
  waiter().processEvents();
}

void keepResponsive() {
  const Nested nested;
  waiter().keepResponsive();
}

void waitPaintingMs(int milliseconds) {
  const Nested nested;
  waiter().sleepPainting(milliseconds);
}

int eventNesting() { return nesting; }

namespace {
// Set and read on the window's thread only (job threads look at their thread first).
BusyPointerHook busyPointer = nullptr;
}  // namespace

void setBusyPointerHook(BusyPointerHook hook) { busyPointer = hook; }

BusyPointerWhileWaiting::BusyPointerWhileWaiting() {
  const QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread() || !busyPointer) return;
  shown_ = busyPointer;
  shown_(true);
}

BusyPointerWhileWaiting::~BusyPointerWhileWaiting() {
  if (shown_) shown_(false);
}

}  // namespace corvane::platform
