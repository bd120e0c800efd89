#include "markdown/BlockContent.h"

#include <algorithm>

namespace markdown {

std::optional<Heading::Level> Heading::levelFromRawValue(std::int64_t rawValue)
{
    if (rawValue < 1 || rawValue > 6)
        return std::nullopt;
    return static_cast<Level>(rawValue);
}

void hashInto(Hasher& hasher, const ListItem& item) { hashList(hasher, item.children); }

void hashInto(Hasher& hasher, const TaskListItem& item)
{
    hasher.feedBool(item.isCompleted);
    hashList(hasher, item.children);
}

namespace detail {

std::vector<BlockNode> literalParagraph(std::string_view text)
{
    return {BlockNode::paragraph({InlineNode::text(std::string(text))})};
}

namespace {

template <typename Item> bool tightness(bool tight, const std::vector<Item>& items)
{
    const auto holdsTwoParagraphs = [](const Item& item) {
        return std::count_if(item.children.begin(), item.children.end(),
                             [](const BlockNode& child) { return child.is<BlockNode::Paragraph>(); })
            >= 2;
    };
    return tight && std::none_of(items.begin(), items.end(), holdsTwoParagraphs);
}

} // namespace

bool listTightness(bool tight, const std::vector<ListItem>& items) { return tightness(tight, items); }
bool listTightness(bool tight, const std::vector<TaskListItem>& items) { return tightness(tight, items); }

std::vector<RawListItem> rawItems(const std::vector<ListItem>& items)
{
    std::vector<RawListItem> raw;
    raw.reserve(items.size());
    for (const ListItem& item : items)
        raw.push_back(RawListItem{item.children});
    return raw;
}

std::vector<RawTaskListItem> rawItems(const std::vector<TaskListItem>& items)
{
    std::vector<RawTaskListItem> raw;
    raw.reserve(items.size());
    for (const TaskListItem& item : items)
        raw.push_back(RawTaskListItem{item.isCompleted, item.children});
    return raw;
}

} // namespace detail

} // namespace markdown
