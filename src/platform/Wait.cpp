#include "platform/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

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

 private:
  QElapsedTimer sinceEvents_;
};

RealWaiter realWaiter;
Waiter* installed = nullptr;
}  // namespace

Waiter& waiter() { return installed ? *installed : realWaiter; }
void setWaiter(Waiter* w) { installed = w; }

}  // namespace corvane::platform
