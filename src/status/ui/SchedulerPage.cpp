#include "status/ui/SchedulerPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "status/UploadHours.h"

namespace corvane::status {

SchedulerPage::SchedulerPage(QWidget* parent) : QWidget(parent) {
  setObjectName("SchedulerPage");
  auto* grid = new QGridLayout;
  // Three columns of eight boxes: 9 AM to 4 PM, 5 PM to 12 AM, 1 AM to 8 AM.
  for (int i = 0; i < 24; ++i) {
    auto* box = new QCheckBox(this);
    box->setObjectName("CheckTime");
    box->setProperty("index", i);
    checkTime_ << box;
    grid->addWidget(box, i % 8, i / 8);
  }
  auto makeButton = [this](const char* name, const QString& caption, const QString& tip) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setToolTip(tip);
    return b;
  };
  CmdSchRefresh = makeButton("CmdSchRefresh", "Re&fresh", "Click to Load Saved Preferences ");
  CmdSchedularReset = makeButton("CmdSchedularReset", "Ca&ncel", "Click to Refresh List");
  CmdScheduler = makeButton("CmdScheduler", "App&ly", "Click to Save");
  connect(CmdSchRefresh, &QPushButton::clicked, this, [this] { CmdSchRefresh_Click(); });
  connect(CmdSchedularReset, &QPushButton::clicked, this, [this] { CmdSchedularReset_Click(); });
  connect(CmdScheduler, &QPushButton::clicked, this, [this] { CmdScheduler_Click(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CmdSchRefresh);
  buttons->addWidget(CmdSchedularReset);
  buttons->addWidget(CmdScheduler);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->addStretch();
}

void SchedulerPage::CaptionScheduleHours() {
  const QStringList captions = status::CaptionScheduleHours(int(checkTime_.size()));
  for (int i = 0; i < checkTime_.size(); ++i) {
    checkTime_[i]->setText(captions[i]);
    checkTime_[i]->setLayoutDirection(Qt::LeftToRight);  // box before its caption
  }
}

void SchedulerPage::CmdSchedularReset_Click() {
  for (QCheckBox* box : checkTime_) {
    const QSignalBlocker block(box);
    box->setChecked(false);
  }
}

void SchedulerPage::CmdSchRefresh_Click() {
  CmdSchedularReset_Click();
  LoadScheduledHours();
}

void SchedulerPage::LoadScheduledHours() {
  QStringList captions;
  for (QCheckBox* box : checkTime_) captions << box->text();
  for (int i : boxesForHours(captions, scheduledHours(schInfoPath(platform::appPaths())))) {
    const QSignalBlocker block(checkTime_[i]);
    checkTime_[i]->setChecked(true);
  }
}

}  // namespace corvane::status
