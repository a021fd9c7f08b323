// The copy tool's window: its controls, and how the buttons drive a walk.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>

#include "filecopy/TreeHelpers.h"
#include "filecopy/ui/FrmFileCopy.h"
#include "support/TestSupport.h"

using namespace corvane::filecopy;
using namespace corvane::test::filecopy;
using corvane::test::RecordingMessages;

namespace {

// Runs a hook at every "process pending events" of the walk, as a user's click would arrive.
class HookWaiter : public corvane::platform::Waiter {
 public:
  HookWaiter() { corvane::platform::setWaiter(this); }
  ~HookWaiter() override { corvane::platform::setWaiter(nullptr); }
  void sleep(int) override {}
  void processEvents() override {
    ++pumps;
    if (hook) hook(pumps);
  }
  int pumps = 0;
  std::function<void(int)> hook;
};

class FileCopyWindowTest : public ::testing::Test {
 protected:
  template <typename T>
  T* child(const char* name) {
    T* w = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void fill(const QString& source, const QString& destination) {
    child<QLineEdit>("tbxFileCopySource")->setText(source);
    child<QLineEdit>("tbxFileCopyDestination")->setText(destination);
  }
  void activate() {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &e);
  }
  QStringList errors() {
    QStringList out;
    auto* list = child<QListWidget>("lbxFileCopyErrors");
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }

  HookWaiter waiter;
  RecordingMessages messages;
  Trees t;
  FrmFileCopy form;
};

TEST_F(FileCopyWindowTest, HasItsControlsAndCaptions) {
  EXPECT_EQ(form.objectName(), "frmFileCopy");
  EXPECT_EQ(form.windowTitle(), "File Copy Utility");
  EXPECT_EQ(child<QPushButton>("btnFileCopyStart")->text(), "Start Copy");
  EXPECT_EQ(child<QPushButton>("btnFileCopyStop")->text(), "Stop Copy");
  EXPECT_EQ(child<QPushButton>("btnFileCopyExit")->text(), "Close");
  child<QLineEdit>("tbxFileCopySource");
  child<QLineEdit>("tbxFileCopyDestination");
  child<QLabel>("lblLastFileChecked");
  child<QLabel>("lblLastFileCopied");
  QStringList captions;
  for (QLabel* l : form.findChildren<QLabel*>()) captions << l->text();
  EXPECT_TRUE(captions.contains("Source"));
  EXPECT_TRUE(captions.contains("Destination"));
  EXPECT_TRUE(form.isWindow());

  QWidget owner;
  FrmFileCopy owned(&owner);
  EXPECT_TRUE(owned.isWindow());  // its own window, not a child control of the owner
}

TEST_F(FileCopyWindowTest, StartCopiesShowsProgressFailuresAndDone) {
  writeFile(t.src("a.txt"), "a");
  writeFile(t.src("z.txt"), "z");
  writeFile(t.dst("z.txt"), "z", baseTime());  // same time: compared, not copied
  writeFile(t.src("blocked/f.txt"), "f");
  writeFile(t.dst("blocked"), "file in the way");
  fill(t.src(), t.dst());

  child<QPushButton>("btnFileCopyStart")->click();
  EXPECT_EQ(readFile(t.dst("a.txt")), QByteArray("a"));
  EXPECT_EQ(child<QLabel>("lblLastFileChecked")->text(), t.src() + "/z.txt");
  EXPECT_EQ(child<QLabel>("lblLastFileCopied")->text(), "Done");
  EXPECT_EQ(errors(), QStringList{t.src() + "/blocked/f.txt"});
  EXPECT_TRUE(child<QPushButton>("btnFileCopyStart")->isEnabled());
  EXPECT_TRUE(messages.texts.isEmpty());

  // Becoming active again clears the last-copied label and the failures, not the boxes.
  activate();
  EXPECT_EQ(child<QLabel>("lblLastFileCopied")->text(), "");
  EXPECT_TRUE(errors().isEmpty());
  EXPECT_EQ(child<QLineEdit>("tbxFileCopySource")->text(), t.src());
}

TEST_F(FileCopyWindowTest, StartIsDisabledWhileRunningAndStopEndsBeforeTheNextFolder) {
  writeFile(t.src("a.txt"), "a");
  writeFile(t.src("b.txt"), "b");
  writeFile(t.src("c-blocked"), "a file where the copy holds a folder");
  writeFile(t.dst("c-blocked/in-the-way"), "x");
  writeFile(t.src("d.txt"), "d");
  writeFile(t.src("sub/e.txt"), "e");
  fill(t.src(), t.dst());
  auto* start = child<QPushButton>("btnFileCopyStart");
  bool startWasEnabled = true;
  QString copiedAfterFailure;
  QStringList errorsWhileRunning;
  waiter.hook = [&](int pump) {
    if (pump != 3) return;  // right after the third file, the one that failed
    startWasEnabled = start->isEnabled();
    copiedAfterFailure = child<QLabel>("lblLastFileCopied")->text();
    start->click();  // a second start must not run a walk inside the first
    activate();      // nor may activation wipe what this walk has listed
    errorsWhileRunning = errors();
    child<QPushButton>("btnFileCopyStop")->click();
  };
  start->click();

  EXPECT_FALSE(startWasEnabled);
  EXPECT_EQ(copiedAfterFailure, t.src() + "/b.txt");  // the failed file is not named as copied
  EXPECT_EQ(errorsWhileRunning, QStringList{t.src() + "/c-blocked"});
  EXPECT_EQ(errors(), QStringList{t.src() + "/c-blocked"});
  EXPECT_TRUE(QFileInfo::exists(t.dst("d.txt")));  // the current folder completes
  EXPECT_FALSE(QFileInfo::exists(t.dst("sub")));   // no further folder is entered
  EXPECT_EQ(child<QLabel>("lblLastFileCopied")->text(), "Done");
  EXPECT_TRUE(start->isEnabled());
}

TEST_F(FileCopyWindowTest, ProgramExitStopsTheWalkAtOnce) {
  writeFile(t.src("a.txt"), "a");
  writeFile(t.src("b.txt"), "b");
  fill(t.src(), t.dst());
  waiter.hook = [&](int pump) {
    if (pump == 1) {
      EXPECT_TRUE(form.isCopying());
      form.stop();
    }
  };
  child<QPushButton>("btnFileCopyStart")->click();
  EXPECT_FALSE(form.isCopying());
  EXPECT_TRUE(QFileInfo::exists(t.dst("a.txt")));
  EXPECT_FALSE(QFileInfo::exists(t.dst("b.txt")));
}

TEST_F(FileCopyWindowTest, RefusedStartShowsAMessageAndChangesNothing) {
  writeFile(t.src("a.txt"), "a");
  fill(t.src(), t.src("inner"));
  child<QPushButton>("btnFileCopyStart")->click();
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_EQ(messages.texts.first(), "The destination folder must not be the source folder or lie inside it.");
  EXPECT_EQ(child<QLabel>("lblLastFileCopied")->text(), "");
  EXPECT_FALSE(QFileInfo::exists(t.src("inner")));
  EXPECT_TRUE(child<QPushButton>("btnFileCopyStart")->isEnabled());

  fill("", t.dst());
  child<QPushButton>("btnFileCopyStart")->click();
  EXPECT_EQ(messages.texts.size(), 2);
  EXPECT_FALSE(QFileInfo::exists(t.dst()));
}

TEST_F(FileCopyWindowTest, CloseHidesTheWindow) {
  form.show();
  ASSERT_TRUE(form.isVisible());
  child<QPushButton>("btnFileCopyExit")->click();
  EXPECT_FALSE(form.isVisible());
  form.show();
  form.close();  // the title bar's close hides it the same way; the object stays
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.findChild<QPushButton*>("btnFileCopyStart")->text(), "Start Copy");
}

}  // namespace
