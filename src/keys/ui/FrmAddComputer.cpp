#include "keys/ui/FrmAddComputer.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include "handoff/WindowTitle.h"
#include "platform/AppFolder.h"
#include "platform/Wait.h"
#include "store/DatabasePaths.h"

namespace corvane::keys::ui {

FrmAddComputer::FrmAddComputer(RestorePageSeam* restore, QWidget* parent, QString statusDb)
    : QDialog(parent), restore_(restore), statusDb_(std::move(statusDb)) {
  setObjectName("frmAddComputer");
  setWindowTitle("Corvane Add Computer");
  setModal(false);
  if (statusDb_.isEmpty()) statusDb_ = store::DatabasePaths::forAppFolder(platform::appPaths().appFolder).statusDb;

  auto* grid = new QGridLayout;
  auto addRow = [&](int row, const char* labelName, const char* text, const char* boxName) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setObjectName(labelName);
    auto* box = new QLineEdit(this);
    box->setObjectName(boxName);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    return box;
  };
  tbxKRComputerName_ = addRow(0, "Label1", "Computer Name:", "tbxKRComputerName");
  tbxKRUserName_ = addRow(1, "Label2", "User Name:", "tbxKRUserName");
  tbxKRPassword_ = addRow(2, "Label3", "Password:", "tbxKRPassword");
  tbxKRPassword_->setEchoMode(QLineEdit::Password);

  auto makeButton = [&](const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  auto* request = makeButton("btnKeyReqRequest", "Request");
  request->setDefault(true);  // Enter in any box sends the request
  auto* clear = makeButton("btnKeyReqClear", "Clear");
  auto* cancel = makeButton("btnKeyReqCancel", "Cancel");
  connect(request, &QPushButton::clicked, this, &FrmAddComputer::btnKeyReqRequest_Click);
  connect(clear, &QPushButton::clicked, this, &FrmAddComputer::btnKeyReqClear_Click);
  connect(cancel, &QPushButton::clicked, this, &FrmAddComputer::btnKeyReqCancel_Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(request);
  buttons->addWidget(clear);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  // The caption is the request's status line: wide enough for the longest one.
  handoff::keepTitleWhole(this, KeyRequestCaptions());
}

void FrmAddComputer::btnKeyReqRequest_Click() {
  // The request lets pending events through while it waits; a click (or Enter) that arrives
  // then must not start a second request inside the first.
  if (requesting_) return;
  const QScopedValueRollback<bool> busy(requesting_, true);
  KeyRequestContext ctx;
  ctx.statusDb = statusDb_;
  ctx.restore = restore_;
  ctx.setCaption = [this](const QString& text) { setWindowTitle(text); };
  ctx.clock = clock_;
  lastOutcome_ = RequestKey(ctx, tbxKRComputerName_->text(), tbxKRUserName_->text(), tbxKRPassword_->text());
  if (lastOutcome_.result == KeyRequestResult::Stored) {
    platform::doEvents();
    hide();
  }
}

void FrmAddComputer::btnKeyReqClear_Click() {
  tbxKRComputerName_->clear();
  tbxKRUserName_->clear();
  tbxKRPassword_->clear();
}

void FrmAddComputer::btnKeyReqCancel_Click() { hide(); }

}  // namespace corvane::keys::ui
