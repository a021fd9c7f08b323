#include "shell/ui/FrameTabs.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace corvane::shell {

namespace {

// Design places in pixels, for the window's load size; the layout rules size and move what they
// name from there.
QGroupBox* frame(QWidget* parent, const char* name, const QRect& place, const QString& caption = {}) {
  auto* f = new QGroupBox(caption, parent);
  f->setObjectName(QString::fromLatin1(name));
  f->setGeometry(place);
  return f;
}

}  // namespace

void buildFileExtensionTab(QWidget* tab) {
  QGroupBox* frame2 = frame(tab, "Frame2", QRect(8, 8, 960, 560), QStringLiteral("File Extensions and Locations"));
  auto* first = new QLineEdit(QStringLiteral("0"), frame2);
  first->setObjectName("TxtFirstTime");
  first->setGeometry(16, 24, 40, 22);
  first->setVisible(false);

  auto* label3 = new QLabel(frame2);
  label3->setObjectName("Label3");
  label3->setGeometry(640, 12, 200, 16);
  QGroupBox* frame5 = frame(frame2, "Frame5", QRect(10, 30, 940, 440));
  frame(frame2, "Frame13", QRect(330, 470, 300, 40));
  frame(frame5, "Frame9", QRect(1, 16, 938, 40));
  QGroupBox* frame1 = frame(frame5, "Frame1", QRect(8, 64, 600, 220));
  frame(frame1, "Frame11", QRect(0, 0, 600, 40));
  frame(frame1, "Frame3", QRect(0, 57, 600, 160));
}

void buildRestoreOptionsTab(QWidget* tab) {
  QGroupBox* frame16 = frame(tab, "Frame16", QRect(16, 16, 920, 540), QStringLiteral("Restore Options"));
  const QString captions[] = {QStringLiteral("Quick Sync"), QStringLiteral("Restore All"),
                              QStringLiteral("Restore Folders"), QStringLiteral("Restore Files")};
  const char* const textNames[] = {"tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles"};
  const QString texts[] = {
      QStringLiteral("QuickSync will restore all your files to their original directories. QuckSync will not "
                     "overwrite any files that exist already. If a directory has been deleted or does not exist, "
                     "QuickSync will create it."),
      QStringLiteral("Restore will download all your files into one folder that you specify. If you choose to "
                     "preserve the folder structure, any sub-folders will be re-created inside this folder. "),
      QStringLiteral("Restore Folders will download the contents of any folder you choose into one folder that you "
                     "specify. If you choose to preserve the folder structure, any sub-folders will be re-created "
                     "inside this folder. "),
      QStringLiteral("Restore allows you to choose individual files to download into one folder that you specify. "
                     "You can choose whether to preserve the folder structure, in which case, all sub-folders will "
                     "be re-created inside this folder."),
  };
  for (int k = 0; k < 4; ++k) {
    auto* b = new QPushButton(captions[k], frame16);
    b->setObjectName(QString::fromLatin1(kRestoreButtonNames[k]));
    b->setGeometry(100, 40 + 100 * k, 130, 30);
    auto* t = new QPlainTextEdit(texts[k], frame16);
    t->setObjectName(QString::fromLatin1(textNames[k]));
    t->setReadOnly(true);
    t->setGeometry(300, 40 + 100 * k, 560, 72);
  }
}

}  // namespace corvane::shell
