#pragma once
#include <QPointer>
#include <QVector>
#include <QWidget>
#include <initializer_list>

namespace corvane::selection {

// Disables controls while work runs, then enables them again and gives the keyboard focus back
// where the user left it. Disabling the control that has the focus moves the focus on to the
// next one in the tab order, so the next key would act there: a Space meant for the folder tree
// toggled "Small Image File Filter". The focus goes back only while it is still where the
// disabling put it; a user who moved it meanwhile keeps it where they put it.
class BusyControls {
 public:
  BusyControls(std::initializer_list<QWidget*> controls);
  ~BusyControls() { release(); }
  BusyControls(const BusyControls&) = delete;
  BusyControls& operator=(const BusyControls&) = delete;
  // Enables the controls again and puts the focus back (once; the destructor does it too).
  void release();

 private:
  QVector<QPointer<QWidget>> controls_;
  QPointer<QWidget> focus_;    // had the focus before
  QPointer<QWidget> movedTo_;  // has it after the controls were disabled
  bool released_ = false;
};

}  // namespace corvane::selection
