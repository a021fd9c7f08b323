#pragma once
// The imaging engine as the setup page sees it: following its images, the engine's own panel
// and indicator. The engine front end implements it; the page holds it as a pointer
// that may be null, and then leaves every control that needs the engine disabled.
class QWidget;

namespace corvane::imaging {

class ImageOperations {
 public:
  virtual ~ImageOperations() = default;
  // Refreshes of the status tick: the setup page's activity indicator (tab 8) and the engine
  // panel (tab 6).
  virtual void UpdateImagePage() = 0;
  virtual void UpdateOldImagePage() = 0;
  // The engine panel's not-connected state (run by the main window's load).
  virtual void UIDisconnect() = 0;
  // The engine panel for tab 6 and the activity indicator shown on the setup page; either may be
  // null. The page takes ownership of neither.
  virtual QWidget* enginePanel() = 0;
  virtual QWidget* activityIndicator() = 0;
};

}  // namespace corvane::imaging
