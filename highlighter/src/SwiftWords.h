#pragma once

// The word tables shared by the Swift rules, built once per process on first use.

#include <QSet>
#include <QString>

namespace highlighter::swiftwords {

const QSet<QString>& keywords();              // includes the access-control keywords
const QSet<QString>& accessControlKeywords();
const QSet<QString>& declarationKeywords();
const QSet<QString>& keywordsToAvoid();       // before a call: keywords that rule it out
const QSet<QString>& callLikeKeywords();      // keywords that take parentheses without being calls
const QSet<QString>& callControlFlowTokens(); // a trailing closure on their line is no call
const QSet<QString>& preprocessingControlFlowTokens();
const QSet<QString>& preprocessingDirectiveTokens();

} // namespace highlighter::swiftwords
