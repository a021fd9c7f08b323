#include "selection/ui/FrmAdvanced.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"
#include "platform/Messages.h"
#include "selection/ui/Failure.h"
#include "shell/PageSeam.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::selection {

namespace {
const QString kScanInterval = QStringLiteral("ScanInterval");
const QString kSFBatchSize = QStringLiteral("SFBatchSize");
const QString kLFBatchSize = QStringLiteral("LFBatchSize");
const QString kSortOrder = QStringLiteral("SortOrder");
}  // namespace

bool isValidSortOrder(const QString& sortOrder) {
  return sortOrder == QStringLiteral("Asc") || sortOrder == QStringLiteral("Desc");
}

AdvancedSettings loadAdvancedSettings(const QString& statusDb, QDateTime& settingDate, store::RetryPolicy policy) {
  AdvancedSettings s;
  for (const auto& [name, value] : {std::pair{&kScanInterval, &s.ScanInterval}, std::pair{&kSFBatchSize, &s.SFBatchSize},
                                    std::pair{&kLFBatchSize, &s.LFBatchSize}, std::pair{&kSortOrder, &s.SortOrder}}) {
    if (const std::optional<store::SettingRow> row = store::readSettingRow(statusDb, *name, policy)) {
      *value = row->value;
      settingDate = row->date;
    }
  }
  return s;
}

void saveAdvancedSettings(const QString& statusDb, const AdvancedSettings& values, const QDateTime& when) {
  const QList<QPair<QString, QString>> rows = {{kSortOrder, values.SortOrder},
                                               {kScanInterval, values.ScanInterval},
                                               {kSFBatchSize, values.SFBatchSize},
                                               {kLFBatchSize, values.LFBatchSize}};
  store::writeSettings(statusDb, rows, when);
}

FrmAdvanced::FrmAdvanced(shell::MainWindowServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(QStringLiteral("frmAdvanced"));
  setWindowTitle(QStringLiteral("Corvane Advanced Settings"));
  handoff::keepTitleWhole(this);
  setModal(false);

  auto makeBox = [this](const char* name) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    return box;
  };
  tbxScanInterval_ = makeBox("tbxScanInterval");
  tbxSFBatchSize_ = makeBox("tbxSFBatchSize");
  tbxLFBatchSize_ = makeBox("tbxLFBatchSize");
  tbxSortOrder_ = makeBox("tbxSortOrder");

  auto* grid = new QGridLayout;
  const QList<QPair<QString, QLineEdit*>> fields = {{QStringLiteral("Scan Interval (minutes)."), tbxScanInterval_},
                                                    {QStringLiteral("Small File Batch Size"), tbxSFBatchSize_},
                                                    {QStringLiteral("Large File Batch Size"), tbxLFBatchSize_},
                                                    {QStringLiteral("Sort Order"), tbxSortOrder_}};
  int row = 0;
  for (const auto& [caption, box] : fields) {
    auto* label = new QLabel(caption, this);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    ++row;
  }

  btnAdvancedOk_ = new QPushButton(QStringLiteral("OK"), this);
  btnAdvancedOk_->setObjectName(QStringLiteral("btnAdvancedOk"));
  btnAdvancedOk_->setDefault(true);
  btnAdvancedCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  btnAdvancedCancel_->setObjectName(QStringLiteral("btnAdvancedCancel"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnAdvancedOk_);
  buttons->addWidget(btnAdvancedCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  connect(btnAdvancedOk_, &QPushButton::clicked, this, [this] { btnAdvancedOk_Click(); });
  connect(btnAdvancedCancel_, &QPushButton::clicked, this, [this] { btnAdvancedCancel_Click(); });
}

void FrmAdvanced::showModeless() {
  if (isVisible()) GetSettings();  // a hidden window reloads in showEvent
  show();
  raise();
  activateWindow();
}

void FrmAdvanced::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous() && !GetSettings() && !loaded_)
    reportFailure(QStringLiteral("The advanced settings could not be read."), store::lastSwallowedError());
}

bool FrmAdvanced::event(QEvent* event) {
  // Coming back to the window does not wait for a busy database: what it shows stays.
  if (event->type() == QEvent::WindowActivate) GetSettings(store::kNoWait);
  return QDialog::event(event);
}

bool FrmAdvanced::GetSettings(store::RetryPolicy policy) {
  AdvancedSettings s;
  if (!store::swallowDbError([&] { s = loadAdvancedSettings(services_.databases().statusDb, services_.settingDate(), policy); })) {
    if (!loaded_) {
      btnAdvancedOk_->setEnabled(false);
      btnAdvancedOk_->setToolTip(QStringLiteral("The stored settings could not be read yet."));
    }
    return false;
  }
  loaded_ = true;
  btnAdvancedOk_->setEnabled(true);
  btnAdvancedOk_->setToolTip(QString());
  tbxScanInterval_->setText(s.ScanInterval);
  tbxSFBatchSize_->setText(s.SFBatchSize);
  tbxLFBatchSize_->setText(s.LFBatchSize);
  tbxSortOrder_->setText(s.SortOrder);
  return true;
}

void FrmAdvanced::btnAdvancedOk_Click() {
  if (!isValidSortOrder(tbxSortOrder_->text())) {
    platform::showMessage(QStringLiteral("Sort Order must be 'Asc' or 'Desc' only..."));
    return;
  }
  AdvancedSettings s;
  s.ScanInterval = tbxScanInterval_->text();
  s.SFBatchSize = tbxSFBatchSize_->text();
  s.LFBatchSize = tbxLFBatchSize_->text();
  s.SortOrder = tbxSortOrder_->text();
  try {
    saveAdvancedSettings(services_.databases().statusDb, s, QDateTime::currentDateTime());
  } catch (const store::DBError& e) {
    // The dialog stays open with the typed values, so the user can try again.
    reportFailure(QStringLiteral("The advanced settings could not be saved."), e.description());
    return;
  }
  hide();
}

void FrmAdvanced::btnAdvancedCancel_Click() { hide(); }

}  // namespace corvane::selection
