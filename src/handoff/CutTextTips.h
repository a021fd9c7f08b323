#pragma once
// A list or tree cuts a text that does not fit its cell ("VeryLongFolderNam..."), and a tree has
// no header whose column the user could widen: two folders whose long names differ at the end
// look the same. Pointing at such a cell shows its whole text as a tool tip; a text shown whole
// gets none. Nothing is stored per row (a tree can hold 200,000 folders).
class QAbstractItemView;

namespace corvane::handoff {

void showCutTextsAsTips(QAbstractItemView* view);

}  // namespace corvane::handoff
