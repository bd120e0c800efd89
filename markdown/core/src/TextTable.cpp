#include "markdown/TextTable.h"

namespace markdown {

RawTableColumnAlignment rawTableColumnAlignment(std::optional<TextTableColumnAlignment> alignment)
{
    if (!alignment)
        return RawTableColumnAlignment::none;
    switch (*alignment) {
    case TextTableColumnAlignment::leading:
        return RawTableColumnAlignment::left;
    case TextTableColumnAlignment::center:
        return RawTableColumnAlignment::center;
    case TextTableColumnAlignment::trailing:
        return RawTableColumnAlignment::right;
    }
    return RawTableColumnAlignment::none;
}

} // namespace markdown
