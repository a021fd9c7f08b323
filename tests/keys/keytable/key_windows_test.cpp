// The remove-computer window and the key buttons of the download list window.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "keys/KeyRequest.h"
#include "keys/KeysTable.h"
#include "keys/RemoveComputer.h"
#include "keys/ui/FrmAddComputer.h"
#include "keys/ui/FrmDownloadList.h"
#include "keys/ui/FrmRemoveComputer.h"
#include "keys/ui/FrmSelectKeyFile.h"
#include "keytable_fixture.h"
#include "store/Settings.h"

using namespace corvane::keys;
using corvane::keys::testing::keyRows;
using corvane::keys::testing::RecordingRestorePage;
using corvane::test::writeFile;

namespace {
class KeyWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    alpha = *DBInsertKey(app.statusDb(), "ann", "pw", "M-1", "ALPHA", "Y", "00", "key-one1", "");
    bravo = *DBInsertKey(app.statusDb(), "bob", "pw", "M-2", "BRAVO", "Y", "00", "key-two2", "");
    restore.sources = {alpha, bravo};
  }

  static QTreeWidgetItem* itemFor(QTreeWidget* list, qint64 keyId) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == QString::number(keyId)) return list->topLevelItem(i);
    return nullptr;
  }
  static void check(QTreeWidget* list, qint64 keyId) {
    QTreeWidgetItem* item = itemFor(list, keyId);
    ASSERT_NE(item, nullptr);
    item->setCheckState(0, Qt::Checked);
  }

  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  corvane::test::FakeWaiter waiter;
  RecordingRestorePage restore;
  qint64 alpha = 0, bravo = 0;
};
}  // namespace

TEST_F(KeyWindowsTest, RemoveDropsRowSourceEntryAndDownloadDatabaseButKeepsTheCatalogue) {
  writeFile(app.file("ALPHADownload.db"), "d");
  writeFile(app.file("ALPHAFiles.db"), "f");
  writeFile(app.file("BRAVODownload.db"), "d");

  ui::FrmRemoveComputer dlg(&restore);
  EXPECT_EQ(dlg.windowTitle(), "Remove Computer");
  QTreeWidget* list = dlg.lstComputerKeys();
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(itemFor(list, alpha)->text(1), "ALPHA");
  check(list, alpha);
  dlg.findChild<QPushButton*>("btnRemove")->click();

  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["KeyID"].toLongLong(), bravo);
  EXPECT_EQ(restore.sources, QList<qint64>{bravo});
  EXPECT_FALSE(QFile::exists(app.file("ALPHADownload.db")));
  EXPECT_TRUE(QFile::exists(app.file("ALPHAFiles.db")));
  EXPECT_TRUE(QFile::exists(app.file("BRAVODownload.db")));
  EXPECT_EQ(list->topLevelItemCount(), 1);  // refilled
  EXPECT_TRUE(messages.texts.isEmpty());

  // Nothing checked: only the list is refilled.
  dlg.findChild<QPushButton*>("btnRemove")->click();
  EXPECT_EQ(keyRows(app.statusDb()).size(), 1);
}

TEST_F(KeyWindowsTest, RemoveGoesOnWhenTheDownloadDatabaseCannotBeDeleted) {
  // A folder in place of the download database cannot be deleted as a file.
  QDir().mkpath(app.file("ALPHADownload.db/locked"));
  const auto outcome = RemoveComputers(app.statusDb(), app.path(), {{alpha, "ALPHA"}, {bravo, "BRAVO"}}, &restore);
  EXPECT_EQ(outcome.removed, (QList<qint64>{alpha, bravo}));
  EXPECT_TRUE(keyRows(app.statusDb()).isEmpty());
  EXPECT_TRUE(restore.sources.isEmpty());
  ASSERT_EQ(outcome.filesNotDeleted.size(), 1);
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains("ALPHADownload.db"));

  // A computer the restore page does not list, and no restore page at all, still go.
  const auto third = *DBInsertKey(app.statusDb(), "c", "pw", "M-3", "CHARLIE", "Y", "00", "key-3333", "");
  EXPECT_EQ(RemoveComputers(app.statusDb(), app.path(), {{third, "CHARLIE"}}, nullptr).removed.size(), 1);
}

TEST_F(KeyWindowsTest, DownloadListExportsAndDeletesTheCheckedComputers) {
  corvane::store::DBUpdateSetting(app.statusDb(), "DIdentity", QString::number(bravo), QDateTime::currentDateTime());
  if (corvane::store::settingValue(app.statusDb(), "DIdentity").isEmpty())
    corvane::store::DBInsertSetting(app.statusDb(), "DIdentity", QString::number(bravo), QDateTime::currentDateTime());
  ui::FrmDownloadList dlg;
  EXPECT_EQ(dlg.lblIdentity()->text(), "Download as :- BRAVO");
  QTreeWidget* list = dlg.lstComputerKeys();
  ASSERT_EQ(list->topLevelItemCount(), 2);

  dlg.findChild<QPushButton*>("btnExportKeyFile")->click();
  EXPECT_EQ(messages.texts.last(), "Please check at least one computer to export a key file...");

  check(list, bravo);
  dlg.findChild<QPushButton*>("btnExportKeyFile")->click();
  EXPECT_EQ(messages.texts.last(), "Exported Keys for: \n\nBRAVO");
  EXPECT_TRUE(QFile::exists(app.file("Config/BRAVOSysinfo.xml")));
  EXPECT_FALSE(QFile::exists(app.file("Config/ALPHASysinfo.xml")));

  dlg.findChild<QPushButton*>("btnDeleteKey")->click();
  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["KeyID"].toLongLong(), alpha);
  ASSERT_EQ(list->topLevelItemCount(), 1);

  // The exported file is loaded back through the key file chooser.
  dlg.findChild<QPushButton*>("btnKeyImport")->click();
  ui::FrmSelectKeyFile* chooser = dlg.selectKeyFile();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->windowTitle(), "Select key to import...");
  EXPECT_EQ(chooser->currentFolder(), app.file("Config"));
  auto* files = chooser->findChild<QListWidget*>("File1");
  const auto found = files->findItems("BRAVOSysinfo.xml", Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  files->setCurrentItem(found[0]);
  chooser->findChild<QPushButton*>("btnLoadKey")->click();
  EXPECT_FALSE(chooser->isVisible());
  EXPECT_EQ(keyRows(app.statusDb()).size(), 2);
  EXPECT_EQ(list->topLevelItemCount(), 2);

  // Without an add-computer window the server button does nothing; with one it opens it.
  dlg.findChild<QPushButton*>("btnImportKeyServer")->click();
  bool opened = false;
  dlg.setShowAddComputer([&] { opened = true; });
  dlg.findChild<QPushButton*>("btnImportKeyServer")->click();
  EXPECT_TRUE(opened);
}

namespace {
// The visible captions of a window that are wider than the room their control gives them.
QStringList cutCaptions(QWidget* window) {
  QStringList cut;
  auto note = [&](const QWidget* w, const QString& text, int need, int room) {
    if (need > room) cut << QStringLiteral("%1 \"%2\" %3>%4").arg(w->objectName(), text).arg(need).arg(room);
  };
  for (QLabel* l : window->findChildren<QLabel*>())
    if (l->isVisible() && !l->wordWrap())
      note(l, l->text(), l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width());
  for (QPushButton* b : window->findChildren<QPushButton*>())
    if (b->isVisible()) note(b, b->text(), b->sizeHint().width(), b->width());
  for (QGroupBox* g : window->findChildren<QGroupBox*>())
    if (g->isVisible()) note(g, g->title(), g->fontMetrics().horizontalAdvance(g->title()), g->width());
  for (QTreeWidget* t : window->findChildren<QTreeWidget*>()) {
    if (!t->isVisible()) continue;
    const int margin = 2 * t->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, t->header());
    for (int c = 0; c < t->columnCount(); ++c) {
      const QString text = t->headerItem()->text(c);
      note(t, text, t->header()->fontMetrics().horizontalAdvance(text) + margin, t->header()->sectionSize(c));
    }
  }
  return cut;
}
}  // namespace

TEST_F(KeyWindowsTest, EveryCaptionOfTheKeyWindowsShowsWhole) {
  ui::FrmAddComputer add(&restore);
  ui::FrmRemoveComputer remove(&restore);
  ui::FrmDownloadList list;
  ui::FrmSelectKeyFile chooser;
  for (QWidget* w : std::initializer_list<QWidget*>{&add, &remove, &list, &chooser}) {
    w->show();
    EXPECT_EQ(cutCaptions(w), QStringList()) << w->objectName().toStdString();
    // The smallest size the user can give it still shows them.
    w->resize(1, 1);
    EXPECT_EQ(cutCaptions(w), QStringList()) << w->objectName().toStdString() << " at its smallest";
  }
  // Add Computer's caption is its status line during a request: each one fits its title bar
  // (in a bold title font) beside the icon and buttons, even at the window's smallest.
  QFont title = add.font();
  title.setBold(true);
  for (const QString& caption : KeyRequestCaptions())
    EXPECT_GE(add.width() - 100, QFontMetrics(title).horizontalAdvance(caption)) << caption.toStdString();
}
