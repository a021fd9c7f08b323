#include "selection/ExtensionMatch.h"

#include <algorithm>

namespace corvane::selection {

namespace {

// Beyond this many letters the forms (two to the power of the letters) are too many to list.
constexpr int kMaxCaseLetters = 10;

bool isAsciiLetter(QChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Every spelling of the text with its ASCII letters in either case (the only ones SQLite's
// lower() changes); other characters stay as they are.
QStringList caseForms(const QString& text) {
  QStringList forms{QString()};
  for (const QChar c : text) {
    const bool letter = isAsciiLetter(c);
    const qsizetype n = forms.size();
    for (qsizetype i = 0; i < n; ++i) {
      if (letter) forms.push_back(forms[i] + c.toUpper());
      forms[i] += letter ? c.toLower() : c;
    }
  }
  return forms;
}

}  // namespace

ExtensionMatch extensionMatch(const QString& column, const QStringList& extensions) {
  ExtensionMatch m;
  QStringList marks;
  for (const QString& e : extensions) {
    if (std::count_if(e.cbegin(), e.cend(), isAsciiLetter) > kMaxCaseLetters) {
      m.indexed = false;
      break;
    }
    for (const QString& form : caseForms(e)) {
      marks << QStringLiteral("?");
      m.params << form;
    }
  }
  if (!m.indexed) {
    m.params.clear();
    marks.clear();
    for (const QString& e : extensions) {
      marks << QStringLiteral("?");
      m.params << e;
    }
    m.condition = QStringLiteral("lower(%1) IN (%2)").arg(column, marks.join(','));
    return m;
  }
  m.condition = QStringLiteral("%1 IN (%2)").arg(column, marks.join(','));
  return m;
}

}  // namespace corvane::selection
