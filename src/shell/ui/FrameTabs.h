#pragma once
// The two tabs the frame fills itself (the pages of the other tabs come through PageSeam.h).
class QWidget;

namespace corvane::shell {

inline const char* const kRestoreButtonNames[] = {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders",
                                                  "btnRestoreFiles"};

// Tab 0 "File Extension": the frame Frame2 with the first-selection marker TxtFirstTime and the
// frames the layout rules size on it. The tab is never shown, so they stay empty.
void buildFileExtensionTab(QWidget* tab);

// Tab 5 "Restore Files": the frame "Restore Options" with the quick-sync and restore rows.
void buildRestoreOptionsTab(QWidget* tab);

}  // namespace corvane::shell
