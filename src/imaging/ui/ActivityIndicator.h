#pragma once
// The setup page's ACTIVE/INACTIVE indicator: a colour patch, a progress strip, its text and the
// upload state beside it.
#include <QWidget>

#include "imaging/EngineFrontEnd.h"

class QLabel;

namespace corvane::imaging {

class ActivityIndicator : public QWidget {
  Q_OBJECT
 public:
  explicit ActivityIndicator(QWidget* parent = nullptr);
  void display(const IndicatorView& view);

 private:
  QLabel *lblLocalActive = nullptr, *lblLocalActive2 = nullptr, *lblLocalActive3 = nullptr, *lblUploading = nullptr;
};

}  // namespace corvane::imaging
