#pragma once

#include "highlighter/Grammar.h"

namespace highlighter {

// Swift source: letters, digits and marks of any script plus "_", "\"", "#", "@" and "$"
// make words; every other character is a delimiter. Thirteen ordered rules classify
// tokens from their context alone, without a parse tree.
class SwiftGrammar : public Grammar {
public:
    SwiftGrammar();

    bool delimitersContain(char32_t scalar) const override;
    bool isDelimiter(QStringView last, QStringView mergableWith) const override;
    std::vector<std::uint64_t> gatherFacts(const TokenTable& table) const override;
    qsizetype firstMatchingRuleIndex(const Segment& segment) const override;

protected:
    void syntaxRulesChanged() override { m_ownRules = false; }

private:
    bool m_ownRules = false; // the rules are still the ones the grammar made
};

} // namespace highlighter
