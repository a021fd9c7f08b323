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
  m.indexed = std::none_of(extensions.cbegin(), extensions.cend(), [](const QString& e) {
    return std::count_if(e.cbegin(), e.cend(), isAsciiLetter) > kMaxCaseLetters;
  });
  for (const QString& e : extensions)
    for (const QString& form : m.indexed ? caseForms(e) : QStringList{e}) m.params << form;
  const QStringList marks(m.params.size(), QStringLiteral("?"));
  const QString pattern = m.indexed ? QStringLiteral("%1 IN (%2)") : QStringLiteral("lower(%1) IN (%2)");
  m.condition = pattern.arg(column, marks.join(','));
  return m;
}

}  // namespace corvane::selection
