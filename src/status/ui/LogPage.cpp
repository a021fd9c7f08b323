#include "status/ui/LogPage.h"

#include <QApplication>
#include <QFontMetrics>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "handoff/CutTextTips.h"
#include "handoff/SpareWidth.h"
#include "platform/Wait.h"
#include "status/ui/HeaderFit.h"
#include "status/UploadHours.h"

namespace corvane::status {

LogPage::LogPage(shell::MainWindowServices& services, QWidget* parent) : QWidget(parent), services_(services) {
  setObjectName("LogPage");
  Check1 = new QCheckBox("Show Last Upload", this);
  Check1->setObjectName("Check1");
  TxtDays = new QLineEdit(this);
  TxtDays->setObjectName("TxtDays");
  TxtDays->setMaximumWidth(60);
  TxtFileExtension = new QLineEdit(this);
  TxtFileExtension->setObjectName("TxtFileExtension");
  TxtFileName = new QLineEdit(this);
  TxtFileName->setObjectName("TxtFileName");
  const char* const actions[] = {"All", "Success", " Failed"};
  for (int i = 0; i < 3; ++i) {
    auto* opt = new QRadioButton(actions[i], this);
    opt->setObjectName("OptAction");
    opt->setProperty("index", i);
    OptAction << opt;
  }
  OptAction[0]->setChecked(true);
  CmdSearch = new QPushButton("&Show Log", this);
  CmdSearch->setObjectName("CmdSearch");
  LblTotFiles = new QLabel(this);
  LblTotFiles->setObjectName("LblTotFiles");
  LblTotFileSize = new QLabel(this);
  LblTotFileSize->setObjectName("LblTotFileSize");
  showTotals(0, 0);

  model_ = new LogListModel(this);
  Select_Item = new QTreeView(this);
  Select_Item->setObjectName("Select_Item");
  Select_Item->setModel(model_);
  handoff::showCutTextsAsTips(Select_Item);
  Select_Item->setRootIsDecorated(false);
  Select_Item->setUniformRowHeights(true);
  Select_Item->setItemsExpandable(false);
  Select_Item->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Select_Item->setSelectionMode(QAbstractItemView::ExtendedSelection);
  const int widths[] = {0, 2500, 2000, 1000, 1000, 2000, 2000, 0, 0, 0};
  for (int c = 0; c < LogTable::kColumns; ++c) {
    if (widths[c] == 0) Select_Item->setColumnHidden(c, true);
    else Select_Item->setColumnWidth(c, headerWidth(Select_Item->header(), c, widths[c]));
  }
  // The design's width cuts the dates the service writes ("12/30/2026 10:59:59 PM") in the
  // fonts of this desktop: the two date columns take what their longest form needs.
  const int margin = 2 * (Select_Item->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Select_Item) + 1);
  const QFontMetrics metrics(Select_Item->font());
  const int dateWidth = std::max(metrics.horizontalAdvance(QStringLiteral("12/30/2026 10:59:59 AM")),
                                 metrics.horizontalAdvance(QStringLiteral("12/30/2026 10:59:59 PM"))) +
                        margin + 4;
  for (const int c : {int(LogTable::ModifiedDate), int(LogTable::UploadDate)})
    Select_Item->setColumnWidth(c, std::max(Select_Item->columnWidth(c), dateWidth));
  handoff::giveSpareWidthTo(Select_Item, LogTable::FilePath);  // folder paths are what the list cuts most
  Select_Item->header()->setSectionsClickable(true);
  Select_Item->header()->setSortIndicatorShown(false);
  connect(Select_Item->header(), &QHeaderView::sectionClicked, this,
          [this](int section) { Select_Item_ColumnClick(section + 1); });

  connect(CmdSearch, &QPushButton::clicked, this, [this] { CmdSearch_Click(); });
  connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });

  auto* filters = new QGridLayout;
  auto* days = new QHBoxLayout;
  days->addWidget(Check1);
  days->addSpacing(12);
  days->addWidget(new QLabel("Show For Last ", this));
  days->addWidget(TxtDays);
  days->addWidget(new QLabel("Day/s", this));
  days->addStretch();
  filters->addLayout(days, 0, 0, 1, 4);
  filters->addWidget(new QLabel("File Type:", this), 1, 0);
  filters->addWidget(TxtFileExtension, 1, 1);
  filters->addWidget(new QLabel("File Name:", this), 1, 2);
  filters->addWidget(TxtFileName, 1, 3);
  auto* options = new QHBoxLayout;
  for (QRadioButton* opt : OptAction) options->addWidget(opt);
  options->addStretch();
  options->addWidget(CmdSearch);
  filters->addLayout(options, 2, 0, 1, 4);

  // Frame8 (the filters) and the list are placed by the main window's layout rules; the totals
  // stay below the list, at the page's foot.
  Frame8 = new QFrame(this);
  Frame8->setObjectName("Frame8");
  auto* frameLayout = new QVBoxLayout(Frame8);
  frameLayout->setContentsMargins(0, 0, 0, 0);
  frameLayout->addLayout(filters);
  frameLayout->addStretch(1);
  const int filtersHeight = filters->sizeHint().height();
  Frame8->setGeometry(8, 4, 957, 608);
  Select_Item->setGeometry(8, 4 + filtersHeight + 6, 959, 500);
  Select_Item->raise();

  totals_ = new QWidget(this);
  auto* totals = new QHBoxLayout(totals_);
  totals->setContentsMargins(0, 0, 0, 0);
  totals->addWidget(new QLabel("Total Files :", totals_));
  totals->addWidget(LblTotFiles);
  totals->addSpacing(24);
  totals->addWidget(new QLabel("Total Size :", totals_));
  totals->addWidget(LblTotFileSize);
  totals->addStretch();
  totals_->resize(totals_->sizeHint());
  setTabOrder(CmdSearch, Select_Item);
}

void LogPage::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  totals_->setGeometry(8, height() - totals_->sizeHint().height() - 6, width() - 16, totals_->sizeHint().height());
}

void LogPage::setFiltersEnabled(bool enabled) {
  TxtDays->setEnabled(enabled);
  TxtFileExtension->setEnabled(enabled);
  TxtFileName->setEnabled(enabled);
  CmdSearch->setEnabled(enabled);
}

void LogPage::Check1_Click() {
  if (Check1->isChecked()) TxtDays->clear();
}

void LogPage::CmdSearch_Click() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  WriteLog(false);
  QApplication::restoreOverrideCursor();
}

void LogPage::showTotals(int files, double bytes) {
  LblTotFiles->setText(QString::number(files));
  LblTotFileSize->setText(totalSizeText(bytes));
}

void LogPage::WriteLog(bool firstTime) {
  const int search = ++search_;
  setFiltersEnabled(false);
  // The totals always tell what is listed: nothing, until a search has listed its rows.
  model_->clear();
  showTotals(0, 0);
  if (firstTime) {
    setFiltersEnabled(true);
    return;
  }

  LogCriteria criteria;
  criteria.lastUploadOnly = Check1->isChecked();
  criteria.days = TxtDays->text();
  criteria.fileTypes = TxtFileExtension->text();
  criteria.fileNames = TxtFileName->text();
  for (QRadioButton* opt : OptAction)
    if (opt->isChecked()) criteria.action = opt->property("index").toInt();

  const platform::AppPaths& paths = platform::appPaths();
  const LogSearch searcher(successLogPath(paths), schInfoPath(paths));
  const QString caption = services_.caption();
  QPointer<LogPage> alive(this);
  // A long log shows its progress in the caption and lets the window work; a reset or a new
  // search started meanwhile (the tab selected again) ends this one.
  LogResult result = searcher.run(criteria, QDateTime::currentDateTime(), [&](qint64 done, qint64 total) {
    if (done < total) {
      services_.setCaption(QStringLiteral("Corvane Searching the upload log... %1%").arg(total > 0 ? done * 100 / total : 0));
      platform::doEvents();
    }
    return alive && search_ == search;
  });
  if (!alive || search_ != search) return;
  if (result.outcome == LogResult::Outcome::Cancelled) return;
  if (services_.caption() != caption) services_.setCaption(caption);

  // No log, or a days box without a number: nothing is listed, and the totals stay at nothing.
  if (result.outcome == LogResult::Outcome::NoLog || result.outcome == LogResult::Outcome::BadDays) {
    setFiltersEnabled(true);
    return;
  }

  model_->setTable(std::move(result.table));
  showTotals(model_->rowCount(), result.totalBytes);
  // The state two clicks on the upload date's key leave, but one sort of the rows: they come in
  // log order, and a stable sort of them by that key gives the order the two sorts gave.
  sort_.click(10);
  Select_Item_ColumnClick(10);
  setFiltersEnabled(true);
}

void LogPage::Select_Item_ColumnClick(int column) {
  const int marked = sort_.click(column);
  model_->sort(sort_.key(), sort_.descending() ? Qt::DescendingOrder : Qt::AscendingOrder);
  for (int c = 0; c < LogTable::kColumns; ++c) {
    if (c == marked)
      SetHeaderSortMark(c, (sort_.descending() ? 1 : 0) + 4, true);
    else
      SetHeaderSortMark(c, 0, false);
  }
}

void LogPage::SetHeaderSortMark(int column, int image, bool show) {
  QHeaderView* header = Select_Item->header();
  if (show) {
    header->setSortIndicator(column, image == 5 ? Qt::DescendingOrder : Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
  } else if (header->sortIndicatorSection() == column) {
    header->setSortIndicatorShown(false);
  }
}

}  // namespace corvane::status
