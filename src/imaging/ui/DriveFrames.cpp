// The drive frames of the imaging setup page: source drives, destination, copies to keep and
// the shadow-copy policy, in the order the wizard reveals them.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "imaging/SetupPage.h"
#include "imaging/ui/DirListBox.h"
#include "imaging/ui/ImagingPage.h"
#include "imaging/ui/PageWidgets.h"
#include "platform/Drives.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"

namespace corvane::imaging {

using namespace page;

void ImagingPage::buildDriveFrames() {
  frameSourceDrives = group(FrameImagingSetup, "frameSourceDrives", QStringLiteral("Source"));
  lstImgSourceDrives = named(new QListWidget(frameSourceDrives), "lstImgSourceDrives");
  lstImgSourceDrives->setSelectionMode(QAbstractItemView::MultiSelection);
  (new QVBoxLayout(frameSourceDrives))->addWidget(lstImgSourceDrives);

  frameDestination = group(FrameImagingSetup, "frameDestination", QStringLiteral("Destination"));
  dlbDestDrive = named(new QComboBox(frameDestination), "dlbDestDrive");
  dirDest = named(new DirListBox(frameDestination), "dirDest");
  tbxDest = named(new QLineEdit(frameDestination), "tbxDest");
  btnNewDir = button(frameDestination, "btnNewDir", QStringLiteral("New"));
  tbxPrefix = named(new QLineEdit(frameDestination), "tbxPrefix");
  cbxIncludeCName = named(new QCheckBox(QStringLiteral("Add Computer Name"), frameDestination), "cbxIncludeCName");
  cbxRemote = named(new QComboBox(frameDestination), "cbxRemote");
  cbxRemote->setEditable(true);
  cbxRemote->addItem(kBuiltInRemoteServer);
  cbxRemote->setMinimumWidth(cbxRemote->fontMetrics().horizontalAdvance(kBuiltInRemoteServer) + 44);
  lblIndex = named(new QLabel(QStringLiteral("BU Index is "), frameDestination), "lblIndex");
  auto* dest = new QGridLayout(frameDestination);
  dest->addWidget(dlbDestDrive, 0, 0, 1, 3);
  dest->addWidget(dirDest, 1, 0, 1, 3);
  dest->addWidget(tbxDest, 2, 0, 1, 2);
  dest->addWidget(btnNewDir, 2, 2);
  dest->addWidget(new QLabel(QStringLiteral("File Prefix:"), frameDestination), 3, 0);
  dest->addWidget(tbxPrefix, 3, 1, 1, 2);
  dest->addWidget(cbxIncludeCName, 4, 0, 1, 3);
  dest->addWidget(new QLabel(QStringLiteral("Remote Server:"), frameDestination), 5, 0);
  dest->addWidget(cbxRemote, 5, 1, 1, 2);
  dest->addWidget(lblIndex, 6, 0, 1, 3);
  dest->setColumnStretch(1, 1);

  FrameCopies = group(FrameImagingSetup, "FrameCopies", QStringLiteral("Keep Copies"));
  auto* copies = new QGridLayout(FrameCopies);
  copies->addWidget(new QLabel(QStringLiteral("Local:"), FrameCopies), 0, 0);
  tbxKeepLocal = spinner(FrameCopies, copies, 0, 1, "tbxKeepLocal", "btnLocalUp", "btnLocalDown", "99");
  copies->addWidget(new QLabel(QStringLiteral("Remote:"), FrameCopies), 1, 0);
  tbxKeepRemote = spinner(FrameCopies, copies, 1, 1, "tbxKeepRemote", "btnRemoteUp", "btnRemoteDown", "99");

  FrameVSS = group(FrameImagingSetup, "FrameVSS", QStringLiteral("VSS"));
  rbUseVSS = named(new QRadioButton(QStringLiteral("Use"), FrameVSS), "rbUseVSS");
  rbRequireVSS = named(new QRadioButton(QStringLiteral("Require"), FrameVSS), "rbRequireVSS");
  rbForceVSS = named(new QRadioButton(QStringLiteral("Force"), FrameVSS), "rbForceVSS");
  rbDisableVSS = named(new QRadioButton(QStringLiteral("Disable"), FrameVSS), "rbDisableVSS");
  auto* vss = new QGridLayout(FrameVSS);
  vss->addWidget(rbUseVSS, 0, 0);
  vss->addWidget(rbRequireVSS, 0, 1);
  vss->addWidget(rbForceVSS, 1, 0);
  vss->addWidget(rbDisableVSS, 1, 1);
}

void ImagingPage::wireDriveFrames() {
  handle(lstImgSourceDrives, &QListWidget::itemClicked, [this] { lstImgSourceDrives_Click(); });
  handle(dlbDestDrive, &QComboBox::activated, [this] { dlbDestDrive_Change(); });
  handle(dirDest, &DirListBox::pathChanged, [this] { dirDest_Change(); });
  handle(btnNewDir, &QPushButton::clicked, [this] { btnNewDir_Click(); });
  for (QRadioButton* rb : {rbUseVSS, rbRequireVSS, rbForceVSS, rbDisableVSS})
    handle(rb, &QRadioButton::clicked, [this] { vss_Click(); });
  for (auto [box, delta] : {std::pair{"btnLocalUp", 1}, {"btnLocalDown", -1}, {"btnRemoteUp", 1}, {"btnRemoteDown", -1}}) {
    auto* b = findChild<QToolButton*>(QString::fromLatin1(box));
    QLineEdit* edit = QByteArray(box).contains("Local") ? tbxKeepLocal : tbxKeepRemote;
    handle(b, &QToolButton::clicked, [this, edit, delta] { keepCopies_Click(edit, delta); });
  }
}

void ImagingPage::fillDestDrives() {
  const QSignalBlocker block(dlbDestDrive);
  const QString current = dlbDestDrive->currentData().toString();
  dlbDestDrive->clear();
  for (const platform::DriveInfo& d : platform::listDrives()) dlbDestDrive->addItem(d.drive, d.rootPath);
  const int i = dlbDestDrive->findData(current);
  if (i >= 0) dlbDestDrive->setCurrentIndex(i);
  // Until a folder is chosen the folder list shows the drive the drive list names, so a new
  // destination (the wizard's) can be picked from it; quietly, as nothing has been chosen.
  if (dirDest->path().isEmpty() && dlbDestDrive->count() > 0) {
    const QSignalBlocker quiet(dirDest);
    dirDest->setPath(dlbDestDrive->currentData().toString());
  }
}

void ImagingPage::PopulateImgDriveList() {
  const QStringList driveSlots = imageDriveSlots();
  for (int i = 0; i < kListedDriveSlots && i < driveSlots.size(); ++i)
    if (!driveSlots[i].isEmpty()) lstImgSourceDrives->addItem(driveSlots[i]);
}

QStringList ImagingPage::selectedDrives() const {
  QStringList selected;
  for (int i = 0; i < lstImgSourceDrives->count(); ++i)
    if (lstImgSourceDrives->item(i)->isSelected()) selected << lstImgSourceDrives->item(i)->text();
  return selected;
}

void ImagingPage::lstImgSourceDrives_Click() {
  frameDestination->setVisible(true);
  setPageCaption(QStringLiteral("Imaging Setup - choose full backup destination..."));
  edited();
}

void ImagingPage::dlbDestDrive_Change() {
  edited();
  const QString root = dlbDestDrive->currentData().toString();
  if (!dirDest->setPath(root)) {
    platform::showMessage(QStringLiteral("This device is not currently available. ") + QLatin1Char('\r') +
                              QStringLiteral("If this is a network share, please ensure you are connected..."),
                          QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    return;
  }
  dirDest->refresh();
}

void ImagingPage::dirDest_Change() {
  tbxDest->setText(dirDest->path());
  FrameCopies->setVisible(true);
  edited();
}

void ImagingPage::btnNewDir_Click() {
  const QString folder = DirListBox::normalise(tbxDest->text());
  const std::optional<QString> native = platform::pathMap().toNative(folder);
  if (!native) return;
  const QFileInfo info(*native);
  if (!QDir().mkdir(*native)) {
    const QFileInfo parent(info.absolutePath());
    if (!info.exists() && parent.isDir() && !parent.isWritable())
      tbxDest->setText(QStringLiteral("Please enter a valid path..."));
    return;
  }
  dirDest->setPath(folder);
}

void ImagingPage::keepCopies_Click(QLineEdit* box, int delta) {
  box->setText(stepKeepCopies(box->text(), delta));
  FrameVSS->setVisible(true);
  edited();
}

void ImagingPage::vss_Click() {
  btnRunNow->setVisible(true);
  btnSchedule->setVisible(true);
  edited();
}

}  // namespace corvane::imaging
