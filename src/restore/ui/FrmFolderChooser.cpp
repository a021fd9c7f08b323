#include "restore/ui/FrmFolderChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"
#include "keys/ui/DialogPlacement.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/RestoreDialogHost.h"
#include "store/Database.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::restore::ui {

namespace {
const QString kUp = QStringLiteral("..");
}

FrmFolderChooser::FrmFolderChooser(RestoreDialogHost& host, const QString& objectName)
    : QDialog(nullptr), host_(host) {
  setObjectName(objectName);
  setWindowTitle(QStringLiteral("Choose destination folder..."));
  handoff::keepTitleWhole(this);
  setModal(false);
  Drive1 = new QComboBox(this);
  Drive1->setObjectName(QStringLiteral("Drive1"));
  for (const auto& e : platform::pathMap().entries()) Drive1->addItem(e.drive.toLower());
  Dir1 = new QListWidget(this);
  Dir1->setObjectName(QStringLiteral("Dir1"));
  tbxDirectory = new QLineEdit(this);
  tbxDirectory->setObjectName(QStringLiteral("tbxDirectory"));
  cbxPreserveFolders = new QCheckBox(QStringLiteral("Preserve folders"), this);
  cbxPreserveFolders->setObjectName(QStringLiteral("cbxPreserveFolders"));
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Drive1);
  layout->addWidget(Dir1, 1);
  layout->addWidget(tbxDirectory);
  layout->addWidget(cbxPreserveFolders);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { openFolder(item->text() == kUp ? QString() : item->text()); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
  if (Drive1->count() > 0) {
    dirPath_ = Drive1->itemText(0).toUpper() + '\\';
    fillDir1();
  }
}

void FrmFolderChooser::showFor(Request request) {
  request_ = std::move(request);
  // Without an owner, yet where the user looks: over the main window.
  keys::ui::showCentredOver(this, host_.mainWindow());
}

void FrmFolderChooser::fillDir1() {
  Dir1->clear();
  const auto native = platform::pathMap().toNative(dirPath_);
  if (!native) return;
  if (dirPath_.size() > 3) Dir1->addItem(kUp);
  for (const QString& name : QDir(*native).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
    if (!name.contains('\\')) Dir1->addItem(name);
}

void FrmFolderChooser::Drive1_Change() {
  const QString path = Drive1->currentText().toUpper() + '\\';
  const auto native = platform::pathMap().toNative(path);
  if (!native || !QDir(*native).exists()) return;  // a drive that cannot be opened: Dir1 stays
  dirPath_ = path;
  fillDir1();
  Dir1_Change();
}

void FrmFolderChooser::openFolder(const QString& name) {
  QString path;
  if (name.isEmpty()) {
    const qsizetype cut = dirPath_.lastIndexOf('\\', dirPath_.endsWith('\\') ? -2 : -1);
    if (cut < 0) return;
    path = dirPath_.left(cut);
    if (path.size() == 2) path += '\\';
  } else {
    path = (dirPath_.endsWith('\\') ? dirPath_ : dirPath_ + '\\') + name;
  }
  const auto native = platform::pathMap().toNative(path);
  if (!native || !QDir(*native).exists()) return;
  dirPath_ = path;
  fillDir1();
  Dir1_Change();
}

void FrmFolderChooser::Dir1_Change() { tbxDirectory->setText(dirPath_); }

void FrmFolderChooser::btnOK_Click() {
  // Queueing many files lets the window answer while it runs: a second OK then would queue
  // every file twice, a Cancel would empty the queue that is then filled anyway.
  if (storing_) return;
  const QString folder = tbxDirectory->text();
  auto finish = [this] {
    if (request_.alsoHide) request_.alsoHide();
    hide();
  };
  // The service restores into this folder, so it must be a folder of a drive (Windows form).
  if (folder.isEmpty() || !IsSafeCataloguePath(folder)) {
    platform::showMessage(QStringLiteral("Please choose a destination folder."));
    return finish();
  }
  // What would be queued is known before the question: a restore of nothing is not confirmed
  // as one, and the service is sent no command for it.
  RestoreChoice choice;
  {
    const QScopedValueRollback<bool> storing(storing_, true);
    if (request_.choose) choice = request_.choose();
  }
  if (const QString why = NothingToRestoreText(choice, !request_.restoreAll); !why.isEmpty()) {
    platform::showMessage(why, QStringLiteral("Nothing to restore"), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    return finish();
  }
  const bool preserve = cbxPreserveFolders->isChecked();
  const QString text = QStringLiteral("Files will be restored to ") + folder + QStringLiteral("\r\n") +
                       (preserve ? QStringLiteral("Sub-directories will be re-created...")
                                 : QStringLiteral("Sub-directories will NOT be re-created..."));
  const QString title = preserve ? QStringLiteral("Restore Files and Directories") : QStringLiteral("Restore Files Only");
  if (platform::showMessage(text, title, platform::MsgButtons::OkCancel, platform::MsgIcon::Question) !=
      platform::MsgResult::Ok)
    return finish();

  QString command = QStringLiteral("Restore to ") + folder;
  if (cbxPreserveFolders->isChecked()) command += QStringLiteral(" Preserve Folders");
  try {
    store::DBUpdateSetting(host_.databases().statusDb, QStringLiteral("Activity"), command,
                           clock_ ? clock_() : QDateTime::currentDateTime());
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
    return finish();
  }
  if (!choice.files.isEmpty()) {
    const QScopedValueRollback<bool> storing(storing_, true);
    QueueRecords(host_.databases().filesDb, choice.files,
                 QueueCaption([this](const QString& t) { host_.setMainCaption(t); }));
  }
  if (request_.queued) request_.queued();
  finish();
}

void FrmFolderChooser::btnCancel_Click() {
  if (storing_) return;
  host_.enableRestoreButtons();
  EmptyRestoreQueue(host_.databases().filesDb);
  hide();
}

}  // namespace corvane::restore::ui
