#include "restore/ui/FrmFileChooser.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "handoff/WindowTitle.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "restore/CatalogueFetch.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/FileList.h"
#include "restore/ui/RestoreDialogHost.h"
#include "store/Database.h"

namespace corvane::restore::ui {

namespace {
const QString kSortByText = QStringLiteral("Use header tabs to sort columns...");

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  return b;
}
QLineEdit* textBox(QWidget* parent, const char* name) {
  auto* t = new QLineEdit(parent);
  t->setObjectName(QString::fromLatin1(name));
  return t;
}
}  // namespace

FrmFileChooser::FrmFileChooser(RestoreDialogHost& host) : QDialog(nullptr), host_(host) {
  setObjectName(QStringLiteral("frmFileChooser"));
  setWindowTitle(QStringLiteral("Select files for download..."));
  handoff::keepTitleWhole(this);
  setModal(false);
  list_ = new FileList(this, FileList::DateOrder::ModifiedFirst);
  tbxFileName = textBox(this, "tbxFileName");
  tbxExtension = textBox(this, "tbxExtension");
  filterBoxes_ = std::make_unique<FilterBoxes>(tbxFileName, tbxExtension);
  tbxAddFile = textBox(this, "tbxAddFile");
  btnAddFile = button(this, "btnAddFile", QStringLiteral("Add"));
  btnCheckAll = button(this, "btnCheckAll", QStringLiteral("Check All"));
  btnUncheckAll = button(this, "btnUncheckAll", QStringLiteral("Uncheck All"));
  btnNext = button(this, "btnNext", QStringLiteral("Next"));
  btnExit = button(this, "btnExit", QStringLiteral("Exit"));
  btnDownloadFilenames = button(this, "btnDownloadFilenames", QStringLiteral("DL List"));
  lblSortBy = new QLabel(kSortByText, this);
  lblSortBy->setObjectName(QStringLiteral("lblSortBy"));
  lblSortBy->setWordWrap(true);  // it says why the list is empty (a busy or damaged catalogue) in its place
  auto* Label1 = new QLabel(QStringLiteral(" Filename"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  auto* Label2 = new QLabel(QStringLiteral("Extension"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  auto* Label3 = new QLabel(QStringLiteral("Add filename if not listed..."), this);
  Label3->setObjectName(QStringLiteral("Label3"));

  auto* g = new QGridLayout(this);
  g->addWidget(Label1, 0, 0);
  g->addWidget(tbxFileName, 0, 1);
  g->addWidget(Label2, 0, 2);
  g->addWidget(tbxExtension, 0, 3);
  g->addWidget(lblSortBy, 0, 4, 1, 2);
  g->addWidget(list_->widget(), 1, 0, 1, 6);
  g->addWidget(btnCheckAll, 2, 0);
  g->addWidget(btnUncheckAll, 2, 1);
  g->addWidget(btnDownloadFilenames, 2, 5);
  g->addWidget(Label3, 3, 0);
  g->addWidget(tbxAddFile, 3, 1, 1, 2);
  g->addWidget(btnAddFile, 3, 3);
  g->addWidget(btnExit, 3, 4);
  g->addWidget(btnNext, 3, 5);
  resize(900, 560);

  connect(tbxFileName, &QLineEdit::textChanged, this, [this] { FilterFileChooserByFilename(); });
  connect(tbxExtension, &QLineEdit::textChanged, this, [this] { FilterFileChooserByExtension(); });
  connect(btnCheckAll, &QPushButton::clicked, this, [this] { btnCheckAll_Click(); });
  connect(btnUncheckAll, &QPushButton::clicked, this, [this] { btnUncheckAll_Click(); });
  connect(btnAddFile, &QPushButton::clicked, this, [this] { btnAddFile_Click(); });
  connect(btnNext, &QPushButton::clicked, this, [this] { btnNext_Click(); });
  connect(btnExit, &QPushButton::clicked, this, [this] { btnExit_Click(); });
  connect(btnDownloadFilenames, &QPushButton::clicked, this, [this] { btnDownloadFilenames_Click(); });
}

FrmFileChooser::~FrmFileChooser() { delete list_; }

// The list is rebuilt when the window is shown and each time the user comes back to it; the
// activation that follows a show does not read the catalogue a second time.
bool FrmFileChooser::event(QEvent* e) {
  const bool handled = QDialog::event(e);
  switch (e->type()) {
    case QEvent::Show:
      justShown_ = true;  // also for an activation that arrives while the list is read
      Form_Activate();
      break;
    case QEvent::WindowActivate:
      if (!justShown_) Form_Activate();
      justShown_ = false;
      break;
    case QEvent::WindowDeactivate:
      justShown_ = false;
      break;
    default:
      break;
  }
  return handled;
}

void FrmFileChooser::Form_Activate() {
  platform::doEvents();
  ++loadGeneration_;  // a read still running for an earlier activation is given up
  records_ = freshRecords();
  const auto& dbs = host_.databases();
  lblSortBy->setText(kSortByText);
  try {
    catalogue_ = CatalogueDatabase(dbs.statusDb, dbs.filesDb, host_.appFolder(), host_.chosenComputerName(),
                                   QStringLiteral("Download.db"))
                     .value_or(QString());
  } catch (const store::DBError& e) {
    catalogue_.clear();
    if (e.isBusy()) lblSortBy->setText(busyCatalogueText());
  }
  if (!catalogue_.isEmpty()) {
    bool busy = false;
    const CatalogueRead read = readCatalogueForList(catalogue_, records_, *list_, lblSortBy, loadGeneration_, &busy);
    if (read == CatalogueRead::Superseded) return;
    lblSortBy->setText(read == CatalogueRead::Damaged ? damagedCatalogueText(catalogue_)
                       : busy                         ? busyCatalogueText()
                                                      : kSortByText);
  }
  list_->show(records_, filterBoxes_->filter());
}

void FrmFileChooser::AddToFileChooser() { list_->show(records_); }

void FrmFileChooser::FilterFileChooserByFilename() {
  filterBoxes_->changed(FilterBoxes::Box::FileName);
  list_->show(records_, filterBoxes_->filter());
}

void FrmFileChooser::FilterFileChooserByExtension() {
  filterBoxes_->changed(FilterBoxes::Box::Extension);
  list_->show(records_, filterBoxes_->filter());
}

void FrmFileChooser::btnCheckAll_Click() { list_->setAllChecked(true); }
void FrmFileChooser::btnUncheckAll_Click() { list_->setAllChecked(false); }

void FrmFileChooser::btnAddFile_Click() {
  const QString path = tbxAddFile->text().trimmed();
  const qsizetype slash = path.lastIndexOf('\\');
  const QString name = path.mid(slash + 1);
  store::TempDFileRow row;
  row.folder = path.left(slash + 1);
  const auto split = SplitFileName(name);
  row.fileName = split.first;
  row.extension = split.second;
  row.fileSize = -1;
  row.dateCreated = row.dateLastModified = row.dateUploaded = now();
  // Only a full path of a file on a drive can be restored.
  if (slash < 2 || name.isEmpty() || !IsSafeCataloguePath(row.folder) || !IsSafeNamePart(name)) {
    platform::showMessage(QStringLiteral("Please type the full path of a file (C:\\Folder\\File.ext)."));
    return;
  }
  try {
    store::DBInsertTempDFile(host_.databases().filesDb, row);
    added_.append(row);
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
  }
}

void FrmFileChooser::btnNext_Click() {
  if (!EmptyRestoreQueue(host_.databases().filesDb)) return;
  hide();
  host_.showFolderChooser(false);
}

void FrmFileChooser::btnExit_Click() {
  host_.enableRestoreButtons();
  list_->clear();
  added_.clear();
  hide();
}

void FrmFileChooser::btnDownloadFilenames_Click() { host_.showDownloadList(); }

RestoreChoice FrmFileChooser::checkedItems() const {
  RestoreChoice choice;
  choice.files = list_->checkedRecords();
  // Paths typed into the add box were queued at once. Next empties the queue, so they go again
  // with the ticked files; where the queue still holds them (Restore All does not empty it),
  // the queueing leaves them out.
  for (const store::TempDFileRow& row : added_)
    choice.files.append({0, row.folder, row.fileName, row.extension, QString::number(row.fileSize),
                         recordDateText(row.dateCreated), recordDateText(row.dateLastModified),
                         recordDateText(row.dateUploaded)});
  choice.anythingTicked = !choice.files.isEmpty();
  return UnlessDamaged(std::move(choice), catalogue_);
}

void FrmFileChooser::StoreCheckedItems() {
  QueueRecords(host_.databases().filesDb, checkedItems().files,
               QueueCaption([this](const QString& t) { host_.setMainCaption(t); }));
  itemsQueued();
}

}  // namespace corvane::restore::ui
