#pragma once
// The main window as its pages and dialogs see it: the two database paths, the caption (every
// text set is kept, the last one is the caption), the layout calls and the shared settings date.
// Header only, so the support library needs no page library.
#include <QDateTime>
#include <QStringList>

#include "shell/PageSeam.h"

namespace corvane::test {

class FakeMainWindow : public shell::MainWindowServices {
 public:
  FakeMainWindow() = default;
  explicit FakeMainWindow(store::DatabasePaths p) : paths(std::move(p)) {}

  const store::DatabasePaths& databases() const override { return paths; }
  QWidget* window() override { return nullptr; }
  void setCaption(const QString& text) override { captions << text; }
  QString caption() const override { return captions.value(captions.size() - 1); }
  void relayout() override { ++relayouts; }
  QDateTime& settingDate() override { return date; }
  store::RetryPolicy databasePolicy() const override { return policy; }

  store::DatabasePaths paths;
  QStringList captions;
  int relayouts = 0;
  QDateTime date;
  store::RetryPolicy policy{};  // kNoWait stands for a call from the status tick
};

}  // namespace corvane::test
