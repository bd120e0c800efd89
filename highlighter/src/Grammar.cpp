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

qsizetype Grammar::firstMatchingRuleIndex(const Segment& segment) const
{
    for (size_t i = 0; i < m_syntaxRules.size(); ++i) {
        if (m_syntaxRules[i]->matches(segment))
            return qsizetype(i);
    }
    return -1;
}

} // namespace highlighter
