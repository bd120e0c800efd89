#include "highlighter/Grammar.h"

#include "highlighter/Segment.h"

namespace highlighter {

bool Grammar::isDelimiter(QStringView, QStringView) const
{
    return true;
}

std::vector<std::uint64_t> Grammar::gatherFacts(const TokenTable&) const
{
    return {};
}

const SyntaxRule* Grammar::firstMatchingRule(const Segment& segment) const
{
    for (const auto& rule : m_syntaxRules) {
        if (rule->matches(segment))
            return rule.get();
    }
    return nullptr;
}

} // namespace highlighter
