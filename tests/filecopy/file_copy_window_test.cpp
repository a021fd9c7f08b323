// The copy tool's window: its controls, and how the buttons drive a walk.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <functional>
#include <gtest/gtest.h>

#include "filecopy/TreeHelpers.h"
#include "filecopy/ui/FrmFileCopy.h"
#include "support/TestSupport.h"
#include "support/WriteFaults.h"

using namespace corvane::filecopy;
using namespace corvane::test::filecopy;

namespace {

class FileCopyWindowTest : public ::testing::Test {
 protected:
  template <typename T>
  T* child(const char* name) {
    T* w = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString label(const char* name) { return child<QLabel>(name)->text(); }
  void start(const QString& source, const QString& destination) {
    child<QLineEdit>("tbxFileCopySource")->setText(source);
    child<QLineEdit>("tbxFileCopyDestination")->setText(destination);
    child<QPushButton>("btnFileCopyStart")->click();
  }
  void activate() {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &e);
  }
  QStringList errors() {
    QStringList out;
    for (int i = 0; i < child<QListWidget>("lbxFileCopyErrors")->count(); ++i)
      out << child<QListWidget>("lbxFileCopyErrors")->item(i)->text();
    return out;
  }
  QString s(const QString& rel) const { return t.src() + "/" + rel; }

  corvane::test::filecopy::HookWaiter waiter;
  corvane::test::RecordingMessages messages;
  Trees t;
  QWidget owner;
  FrmFileCopy form{&owner};
};

TEST_F(FileCopyWindowTest, HasItsControlsAndCaptions) {
  EXPECT_TRUE(form.isWindow());  // its own window, though the owner holds it
  EXPECT_EQ(form.objectName(), "frmFileCopy");
  EXPECT_EQ(form.windowTitle(), "File Copy Utility");
  EXPECT_EQ(child<QPushButton>("btnFileCopyStart")->text(), "Start Copy");
  EXPECT_EQ(child<QPushButton>("btnFileCopyStop")->text(), "Stop Copy");
  EXPECT_EQ(child<QPushButton>("btnFileCopyExit")->text(), "Close");
  child<QLineEdit>("tbxFileCopySource");
  child<QLineEdit>("tbxFileCopyDestination");
  QStringList captions;
  for (QLabel* l : form.findChildren<QLabel*>()) captions << l->text();
  EXPECT_TRUE(captions.contains("Source") && captions.contains("Destination"));
}

TEST_F(FileCopyWindowTest, StartShowsProgressFailuresAndDoneAndActivationClearsThem) {
  writeFile(s("a.txt"), "a");
  writeFile(s("z.txt"), "z");
  writeFile(t.dst("z.txt"), "z");  // same time: compared, not copied
  writeFile(s("blocked/f.txt"), "f");
  writeFile(t.dst("blocked"), "file in the way");
  start(t.src(), t.dst());
  EXPECT_EQ(readFile(t.dst("a.txt")), QByteArray("a"));
  EXPECT_EQ(label("lblLastFileChecked"), s("z.txt"));
  EXPECT_EQ(label("lblLastFileCopied"), "Done");
  EXPECT_EQ(errors(), QStringList{s("blocked/f.txt") + " (its folder cannot be made: Not a directory)"});

  activate();
  EXPECT_EQ(label("lblLastFileCopied"), "");
  EXPECT_TRUE(errors().isEmpty());

  start(t.src(), s("inner"));  // refused: no walk, no "Done"
  EXPECT_EQ(messages.texts, QStringList{"The destination folder must not be the source folder or lie inside it."});
  EXPECT_EQ(label("lblLastFileCopied"), "");
}

TEST_F(FileCopyWindowTest, FoldersInTheWindowsFormGoThroughTheDriveMap) {
  corvane::test::ScopedPathMap map(corvane::platform::PathMap({{"C:", t.root()}}));
  writeFile(s("a.txt"), "a");
  writeFile(s("sub/b.txt"), "b");
  writeFile(t.dst("sub/b.txt"), "b");
  writeFile(s("blocked/c.txt"), "c");
  writeFile(t.dst("blocked"), "file in the way");
  start("C:\\src", "c:/dst");
  EXPECT_TRUE(messages.texts.isEmpty()) << qPrintable(messages.texts.join('|'));
  EXPECT_EQ(readFile(t.dst("a.txt")), QByteArray("a"));
  // What is shown keeps the form the user typed.
  EXPECT_EQ(label("lblLastFileChecked"), "C:\\src\\sub\\b.txt");
  EXPECT_EQ(errors(), QStringList{"C:\\src\\blocked\\c.txt (its folder cannot be made: Not a directory)"});
  EXPECT_EQ(label("lblLastFileCopied"), "Done");

  // A drive the map does not know is named in the refusal.
  start("Q:\\data", "C:\\dst");
  EXPECT_EQ(messages.texts, QStringList{"The source folder does not exist: Q:\\data"});
}

TEST_F(FileCopyWindowTest, AFolderThatCannotBeReadIsToldAndListedAndTheWalkGoesOn) {
  writeFile(s("a.txt"), "a");
  writeFile(s("secret/hidden.txt"), "h");
  writeFile(s("z-later/b.txt"), "b");
  ASSERT_TRUE(QFile::setPermissions(s("secret"), QFileDevice::Permissions()));
  {
    corvane::test::WithoutFileRights asAUser;
    start(t.src(), t.dst());
  }
  QFile::setPermissions(s("secret"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  EXPECT_EQ(messages.texts, QStringList{"Error in File Scan routine - Permission denied: " + s("secret/")});
  EXPECT_EQ(errors(), QStringList{s("secret/") + " (Permission denied)"});
  EXPECT_EQ(readFile(t.dst("z-later/b.txt")), QByteArray("b"));  // the parent's walk goes on
  EXPECT_FALSE(QFileInfo::exists(t.dst("secret")));
  EXPECT_EQ(label("lblLastFileCopied"), "Done");
}

TEST_F(FileCopyWindowTest, OpensOverItsOwnerAndEscapeClosesIt) {
  const QRect screen = owner.screen()->availableGeometry();
  owner.setGeometry(QRect(screen.topLeft() + QPoint(20, 20), screen.size() - QSize(40, 40)));
  owner.show();
  form.show();
  EXPECT_LE((form.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 4);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(child<QLineEdit>("tbxFileCopySource"), &escape);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(FileCopyWindowTest, StartIsDisabledWhileRunningAndStopEndsBeforeTheNextFolder) {
  for (const QString rel : {"a.txt", "b.txt", "c-blocked", "d.txt", "sub/e.txt"}) writeFile(s(rel), "x");
  writeFile(t.dst("c-blocked/in-the-way"), "x");
  auto* startButton = child<QPushButton>("btnFileCopyStart");
  bool startWasEnabled = true;
  QString copiedAfterFailure;
  QStringList errorsWhileRunning;
  waiter.hook = [&](int pump) {
    if (pump != 3) return;  // right after the third file, the one that failed
    startWasEnabled = startButton->isEnabled();
    copiedAfterFailure = label("lblLastFileCopied");
    startButton->click();  // a second start must not run a walk inside the first
    activate();            // nor may activation wipe what this walk has listed
    errorsWhileRunning = errors();
    child<QPushButton>("btnFileCopyStop")->click();
  };
  start(t.src(), t.dst());

  EXPECT_FALSE(startWasEnabled);
  EXPECT_EQ(copiedAfterFailure, s("b.txt"));  // the failed file is not named as copied
  EXPECT_EQ(errorsWhileRunning, QStringList{s("c-blocked") + " (a folder of that name is in the way)"});
  EXPECT_TRUE(QFileInfo::exists(t.dst("d.txt")));  // the current folder completes
  EXPECT_FALSE(QFileInfo::exists(t.dst("sub")));   // no further folder is entered
  EXPECT_EQ(label("lblLastFileCopied"), "Done");
  EXPECT_TRUE(startButton->isEnabled());
}

TEST_F(FileCopyWindowTest, ProgramExitStopsTheWalkAfterTheFileInHand) {
  writeFile(s("a.txt"), "a");
  writeFile(s("b.txt"), "b");
  waiter.hook = [&](int pump) {
    if (pump == 1 && form.isCopying()) form.stop();
  };
  start(t.src(), t.dst());
  EXPECT_FALSE(form.isCopying());
  EXPECT_TRUE(QFileInfo::exists(t.dst("a.txt")));
  EXPECT_FALSE(QFileInfo::exists(t.dst("b.txt")));
}

}  // namespace
