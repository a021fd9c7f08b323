#include "platform/Wait.h"

#include <QCoreApplication>
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
  }
};

RealWaiter realWaiter;
Waiter* installed = nullptr;
}  // namespace

Waiter& waiter() { return installed ? *installed : realWaiter; }
void setWaiter(Waiter* w) { installed = w; }

}  // namespace corvane::platform
