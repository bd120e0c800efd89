#pragma once

#include <QString>
#include <QStringView>

namespace plendra {

// Lengths in user-perceived characters (extended grapheme clusters), as the create form counts.
qsizetype graphemeCount(QStringView text);
// The first `limit` user-perceived characters of `text`; the whole text when it is no longer.
QString leftGraphemes(const QString& text, qsizetype limit);

// The form's e-mail rule: more than five characters, holding an "@" and a ".", wherever they are.
bool isWellFormedEmail(const QString& email);

} // namespace plendra
