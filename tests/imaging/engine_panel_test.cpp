#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "clipped_text.h"
#include "engine_fixture.h"
#include "imaging/ui/EnginePanel.h"

using namespace corvane;
using namespace corvane::imaging;
using test::fakeEngine;

namespace {

const QString kFakeEngines = QStringLiteral(FAKE_ENGINE_DIR);

class Panel : public test::EngineTest {
 protected:
  // The panel in a window of the tab's room at the main window's load size.
  EnginePanel* makePanel(EngineLibrary engine) {
    auto* panel = new EnginePanel(window_, std::move(engine), hooks());
    room_.reset(test::showInTab(panel));
    return panel;
  }
  std::unique_ptr<QWidget> room_;
};

}  // namespace

TEST_F(Panel, AMissingOrIncompleteLibraryIsSaidPlainlyAndKeepsTheEngineButtonsOff) {
  const EngineLibrary missing = EngineLibrary::load(kFakeEngines + "/fake_engine_none/libsnapshot.so");
  EXPECT_FALSE(missing.available());
  EXPECT_TRUE(missing.problem().contains("not installed")) << missing.problem().toStdString();
  const EngineLibrary incomplete = EngineLibrary::load(engineLibraryPath(kFakeEngines + "/fake_engine_incomplete"));
  EXPECT_FALSE(incomplete.available());
  EXPECT_TRUE(incomplete.problem().contains("SShResume")) << incomplete.problem().toStdString();

  test::setSetting(app_.statusDb(), "ImageActive", "Yes");
  EnginePanel* panel = makePanel(incomplete);
  auto* problem = find<QLabel>(*panel, "lblEngineProblem");
  EXPECT_TRUE(problem->isVisible());
  EXPECT_EQ(problem->text(), incomplete.problem());
  for (const char* name : {"btnConnectToImageEngine", "btnPauseResumeImageEngine", "btnCreateImage", "btnAbortImage"})
    EXPECT_FALSE(find<QPushButton>(*panel, name)->isEnabled()) << name;
  EXPECT_TRUE(find<QPushButton>(*panel, "btnVerifyImageUpload")->isEnabled());
  panel->frontEnd().btnConnectToImageEngine_Click();  // even when called, nothing is reached
  panel->UpdateOldImagePage();
  panel->UpdateImagePage();
  EXPECT_FALSE(panel->frontEnd().connected());
  EXPECT_EQ(panel->frontEnd().indicator().text, "ACTIVE");
}

TEST_F(Panel, TheButtonsDriveTheEngineAndEveryCaptionFits) {
  EnginePanel* panel = makePanel(EngineLibrary::fromFunctions(test::fakeEngineFunctions()));
  auto* connect = find<QPushButton>(*panel, "btnConnectToImageEngine");
  EXPECT_EQ(connect->text(), "Connect to Image Engine");
  connect->click();
  EXPECT_EQ(connect->text(), "Disconnect from Image Engine");
  fakeEngine.noneInProgress = 0;
  fakeEngine.info.StatusCode = 0;
  fakeEngine.info.BytesWrittenLow = 123456789;
  panel->UpdateOldImagePage();
  EXPECT_EQ(find<QLineEdit>(*panel, "tbxImageEngineStatus")->text(), "Writing Image");
  EXPECT_EQ(find<QLineEdit>(*panel, "tbxBytesWritten")->text(), "123,456,789");
  auto* pause = find<QPushButton>(*panel, "btnPauseResumeImageEngine");
  pause->click();
  EXPECT_EQ(fakeEngine.pauses, 1);
  EXPECT_EQ(pause->text(), "Resume Image Engine");
  EXPECT_EQ(test::clippedTexts(panel).join("; ").toStdString(), "");

  find<QPushButton>(*panel, "btnAbortImage")->click();
  EXPECT_EQ(enginesEnded, 1);
  EXPECT_FALSE(connect->isEnabled());
  pending();  // the window's timer fires
  panel->render();
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_EQ(connect->text(), "Connect to Image Engine");
}
