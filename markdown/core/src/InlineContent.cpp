#include "markdown/InlineContent.h"

namespace markdown {

InlineContent::InlineContent() : InlineContent(std::vector<InlineNode>{}) {}

InlineContent::InlineContent(std::vector<InlineNode> inlines)
    : inlines_(std::make_shared<const std::vector<InlineNode>>(std::move(inlines)))
{
}

bool InlineContent::operator==(const InlineContent& other) const
{
    return inlines_ == other.inlines_ || *inlines_ == *other.inlines_;
}

} // namespace markdown
