#pragma once
// The "Scheduler" page: the upload hours of SchInfo.xml as 24 hour boxes (CheckTime 0 to 23,
// each carrying its index in the property "index").
#include <QList>
#include <QWidget>

#include "shell/PageSeam.h"

class QCheckBox;
class QPushButton;

namespace corvane::status {

class SchedulerPage : public QWidget, public shell::SchedulerPageHooks {
  Q_OBJECT
 public:
  explicit SchedulerPage(QWidget* parent = nullptr);

  // shell::SchedulerPageHooks
  QWidget* widget() override { return this; }
  void CaptionScheduleHours() override;
  // The service owns SchInfo.xml: the hours are not written back, so Apply changes nothing.
  void CmdScheduler_Click() override {}

  void CmdSchedularReset_Click();
  void CmdSchRefresh_Click();
  void LoadScheduledHours();

  const QList<QCheckBox*>& CheckTime() const { return checkTime_; }

 private:
  QList<QCheckBox*> checkTime_;
  QPushButton* CmdSchRefresh = nullptr;
  QPushButton* CmdSchedularReset = nullptr;
  QPushButton* CmdScheduler = nullptr;
};

}  // namespace corvane::status
