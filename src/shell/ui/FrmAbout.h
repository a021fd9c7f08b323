#pragma once
#include <QDialog>

namespace corvane::shell {

// frmabout: the About box, shown modeless from the Help menu; "Close" only hides it.
class FrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit FrmAbout(QWidget* parent = nullptr);
  void cmdOk_Click();
};

}  // namespace corvane::shell
