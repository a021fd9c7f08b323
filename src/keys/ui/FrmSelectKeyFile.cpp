#include "keys/ui/FrmSelectKeyFile.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "keys/KeyFiles.h"
#include "platform/AppFolder.h"
#include "platform/Drives.h"
#include "store/DatabasePaths.h"

namespace corvane::keys::ui {

FrmSelectKeyFile::FrmSelectKeyFile(QWidget* parent, QString statusDb) : QDialog(parent), statusDb_(std::move(statusDb)) {
  setObjectName("frmSelectKeyFile");
  setWindowTitle("Select key to import...");
  setModal(false);
  const platform::AppPaths& paths = platform::appPaths();
  if (statusDb_.isEmpty()) statusDb_ = store::DatabasePaths::forAppFolder(paths.appFolder).statusDb;

  Drive1_ = new QComboBox(this);
  Drive1_->setObjectName("Drive1");
  for (const platform::DriveInfo& d : platform::listDrives()) Drive1_->addItem(d.drive, d.nativeRoot);
  Dir1_ = new QListWidget(this);
  Dir1_->setObjectName("Dir1");
  File1_ = new QListWidget(this);
  File1_->setObjectName("File1");
  Text1_ = new QLineEdit(this);
  Text1_->setObjectName("Text1");
  auto* load = new QPushButton("Load Key", this);
  load->setObjectName("btnLoadKey");
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("btnSelectKeyCancel");

  connect(Drive1_, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
  connect(Dir1_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const QString name = item->text();
    setFolder(QDir::cleanPath(QDir(folder_).filePath(name)));
  });
  connect(File1_, &QListWidget::currentTextChanged, this, [this](const QString& name) {
    if (!name.isEmpty()) Text1_->setText(QDir::toNativeSeparators(QDir(folder_).filePath(name)));
  });
  connect(load, &QPushButton::clicked, this, &FrmSelectKeyFile::btnLoadKey_Click);
  connect(cancel, &QPushButton::clicked, this, &FrmSelectKeyFile::btnSelectKeyCancel_Click);

  auto* lists = new QHBoxLayout;
  lists->addWidget(Dir1_);
  lists->addWidget(File1_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(load);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Drive1_);
  layout->addLayout(lists);
  layout->addWidget(Text1_);
  layout->addLayout(buttons);

  setFolder(QFileInfo(paths.configFolderPath).isDir() ? paths.configFolderPath : paths.appFolder);
}

void FrmSelectKeyFile::setFolder(const QString& nativeFolder) {
  folder_ = nativeFolder;
  // Show the drive that holds the folder, without running the drive's change handler.
  const QSignalBlocker block(Drive1_);
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < Drive1_->count(); ++i) {
    const QString root = Drive1_->itemData(i).toString();
    const bool holds = root == "/" || folder_ == root || folder_.startsWith(root + '/');
    if (holds && root.size() > bestLength) {
      best = i;
      bestLength = root.size();
    }
  }
  if (best >= 0) Drive1_->setCurrentIndex(best);
  refreshLists();
}

void FrmSelectKeyFile::refreshLists() {
  Dir1_->clear();
  File1_->clear();
  const QDir dir(folder_);
  if (!dir.isRoot()) Dir1_->addItem("..");
  Dir1_->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
  File1_->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void FrmSelectKeyFile::Drive1_Change() {
  const QString root = Drive1_->currentData().toString();
  if (!root.isEmpty()) setFolder(root);
}

void FrmSelectKeyFile::btnLoadKey_Click() {
  QString path = Text1_->text().trimmed();
  if (path.isEmpty()) return;
  path = QDir::fromNativeSeparators(path);
  if (QFileInfo(path).isRelative()) path = QDir(folder_).filePath(path);
  if (ImportKeyFile(statusDb_, path)) {
    if (onKeyLoaded_) onKeyLoaded_();
    hide();
  }
}

void FrmSelectKeyFile::btnSelectKeyCancel_Click() { hide(); }

}  // namespace corvane::keys::ui
