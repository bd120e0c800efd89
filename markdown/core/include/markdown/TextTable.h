#pragma once

// A table declared from row values and column descriptions, in the manner of a data
// table. It yields the same table block the parser makes from Markdown.

#include "markdown/InlineContent.h"
#include "markdown/MarkdownContent.h"

#include <charconv>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace markdown {

enum class TextTableColumnAlignment { leading, center, trailing };

// leading → left, center → center, trailing → right, absent → none.
RawTableColumnAlignment rawTableColumnAlignment(std::optional<TextTableColumnAlignment> alignment);

// Values whose text converts back to the same value: strings, characters, Booleans and
// numbers (written in their shortest exact form).
template <typename T>
concept LosslessStringConvertible = StringLike<T> || std::is_arithmetic_v<T>;

template <LosslessStringConvertible T> std::string textualDescription(const T& value)
{
    if constexpr (StringLike<T>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::same_as<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::same_as<T, char>) {
        return std::string(1, value);
    } else {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, result.ptr);
    }
}

template <typename Row> class TextTableColumn {
public:
    // The title is inline statements (a string is literal text); content makes the cell's
    // inline statements from one row value and is called once per row.
    template <StatementOf<InlineContentBuilder> Title, typename Content>
        requires std::invocable<const Content&, const Row&>
        && StatementOf<std::invoke_result_t<const Content&, const Row&>, InlineContentBuilder>
    TextTableColumn(std::optional<TextTableColumnAlignment> alignment, const Title& title, Content content)
        : alignment(alignment),
          title(InlineContent::of(title)),
          content([content = std::move(content)](const Row& row) { return InlineContent::of(std::invoke(content, row)); })
    {
    }

    // A column whose cell is the textual description of what the projection (a data
    // member pointer, for one) reads from the row value.
    template <StatementOf<InlineContentBuilder> Title, typename Projection>
        requires LosslessStringConvertible<std::remove_cvref_t<std::invoke_result_t<const Projection&, const Row&>>>
    static TextTableColumn value(std::optional<TextTableColumnAlignment> alignment, const Title& title,
                                 Projection projection)
    {
        return TextTableColumn(alignment, title, [projection = std::move(projection)](const Row& row) {
            return textualDescription(std::invoke(projection, row));
        });
    }

    std::optional<TextTableColumnAlignment> alignment;
    InlineContent title;
    std::function<InlineContent(const Row&)> content;
};

template <typename Row> class TextTableRow {
public:
    explicit TextTableRow(Row value) : value(std::move(value)) {}

    Row value;
};

template <typename Row> struct TextTableColumnBuilder : BuilderOperations<TextTableColumnBuilder<Row>> {
    using List = std::vector<TextTableColumn<Row>>;
    template <typename T> static constexpr bool isElement = std::same_as<T, TextTableColumn<Row>>;
    static void appendElement(List& out, const TextTableColumn<Row>& column) { out.push_back(column); }
};

template <typename Row> struct TextTableRowBuilder : BuilderOperations<TextTableRowBuilder<Row>> {
    using List = std::vector<TextTableRow<Row>>;
    template <typename T> static constexpr bool isElement = std::same_as<T, TextTableRow<Row>>;
    static void appendElement(List& out, const TextTableRow<Row>& row) { out.push_back(row); }
};

class TextTable {
public:
    // One body row per row value, in order; columns are column statements.
    template <std::ranges::input_range Rows, typename... Columns>
        requires(StatementOf<Columns, TextTableColumnBuilder<std::ranges::range_value_t<Rows>>> && ...)
    explicit TextTable(const Rows& rows, const Columns&... columns)
        : TextTable(rows, TextTableColumnBuilder<std::ranges::range_value_t<Rows>>::join(columns...))
    {
    }

    // Row values from row statements. The rows function runs before the columns function
    // (both are called once), whatever the order of evaluation of a call's arguments.
    template <typename Row, std::invocable ColumnsBody, std::invocable RowsBody>
    static TextTable build(ColumnsBody&& columns, RowsBody&& rows)
    {
        const auto rowList = TextTableRowBuilder<Row>::join(std::forward<RowsBody>(rows)());
        std::vector<Row> values;
        values.reserve(rowList.size());
        for (const TextTableRow<Row>& row : rowList)
            values.push_back(row.value);
        return TextTable(values, TextTableColumnBuilder<Row>::join(std::forward<ColumnsBody>(columns)()));
    }

    MarkdownContent markdownContent() const { return MarkdownContent({BlockNode::table(columnAlignments, rows)}); }

    std::vector<RawTableColumnAlignment> columnAlignments;
    std::vector<RawTableRow> rows; // the header row first

private:
    template <std::ranges::input_range Rows, typename Row>
    TextTable(const Rows& values, const std::vector<TextTableColumn<Row>>& columns)
    {
        columnAlignments.reserve(columns.size());
        RawTableRow header;
        for (const TextTableColumn<Row>& column : columns) {
            columnAlignments.push_back(rawTableColumnAlignment(column.alignment));
            header.cells.push_back(RawTableCell{column.title.inlines()});
        }
        if constexpr (std::ranges::sized_range<Rows>)
            rows.reserve(std::ranges::size(values) + 1);
        rows.push_back(std::move(header));
        for (const Row& value : values) {
            RawTableRow row;
            row.cells.reserve(columns.size());
            for (const TextTableColumn<Row>& column : columns)
                row.cells.push_back(RawTableCell{column.content(value).inlines()});
            rows.push_back(std::move(row));
        }
    }
};

} // namespace markdown
