#pragma once
// The main window as the backup page, the extension list and the advanced settings window see
// it: the two database paths, the caption (every text set is kept), the layout calls and the
// shared settings date.
#include <QDateTime>
#include <QStringList>

#include "shell/PageSeam.h"

namespace corvane::test {

class FakeWindow : public shell::MainWindowServices {
 public:
  explicit FakeWindow(store::DatabasePaths p) : paths(std::move(p)) {}
  const store::DatabasePaths& databases() const override { return paths; }
  QWidget* window() override { return nullptr; }
  void setCaption(const QString& text) override { captions << text; }
  QString caption() const override { return captions.value(captions.size() - 1); }
  void relayout() override { ++relayouts; }
  QDateTime& settingDate() override { return date; }

  store::DatabasePaths paths;
  QStringList captions;
  int relayouts = 0;
  QDateTime date;
};

}  // namespace corvane::test
