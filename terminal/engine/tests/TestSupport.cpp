#include "TestSupport.h"

#include "terminal/UnicodeUtil.h"

namespace terminal::test {

std::unique_ptr<Buffer> makeBuffer(int cols, int rows, std::optional<int> scrollback)
{
    auto buffer = std::make_unique<Buffer>(cols, rows, 8, scrollback);
    buffer->fillViewportRows();
    buffer->wraparound = true;
    return buffer;
}

void write(Buffer& buffer, std::string_view text, Attribute attribute)
{
    for (char32_t c : decodeUtf8(text)) {
        if (c == U'\n') {
            buffer.setX(0);
            if (buffer.y() == buffer.scrollBottom())
                buffer.scroll(false);
            else
                buffer.setY(buffer.y() + 1);
            continue;
        }
        const int width = columnWidth(c);
        if (width == 0) {
            const auto& last = buffer.lastBufferStorage;
            CharData& cell = buffer.lines()[last.y].at(last.x);
            std::u32string scalars = buffer.tables().scalars(cell.code);
            scalars += c;
            cell.code = buffer.tables().encode(scalars);
            continue;
        }
        CharData cell{static_cast<std::int32_t>(c), static_cast<std::int8_t>(width), 0, {}, attribute};
        buffer.insertCharacter(cell);
    }
}

std::string rowText(const CellTables& tables, const BufferLine& row)
{
    std::string out;
    for (const CharData& cell : row.getData()) {
        if (cell.isSpacer())
            continue;
        tables.appendUtf8(cell.code, out, '.');
    }
    while (!out.empty() && out.back() == '.')
        out.pop_back();
    return out;
}

std::string rowText(const Buffer& buffer, const BufferLine& row)
{
    return (row.isWrapped ? ">" : "|") + rowText(buffer.tables(), row);
}

std::vector<std::string> rows(const Buffer& buffer)
{
    std::vector<std::string> out;
    for (int i = 0; i < buffer.lines().count(); ++i)
        out.push_back(rowText(buffer, buffer.lines()[i]));
    return out;
}

std::vector<std::string> screen(const Buffer& buffer)
{
    std::vector<std::string> out;
    for (int y = 0; y < buffer.rows(); ++y)
        out.push_back(rowText(buffer, buffer.screenLine(y)));
    return out;
}

BufferLine makeRow(CellTables& tables, std::string_view text, int cols)
{
    BufferLine row(cols);
    int col = 0;
    for (char32_t c : decodeUtf8(text)) {
        if (col >= cols)
            break;
        if (c == U'.') {
            ++col;
            continue;
        }
        const int width = columnWidth(c);
        row.at(col) = CharData{tables.encode(std::u32string(1, c)), static_cast<std::int8_t>(width), 0, {}, CharData::Null.attribute};
        if (width == 2 && col + 1 < cols)
            row.at(col + 1) = CharData::spacer(CharData::Null.attribute);
        col += width;
    }
    return row;
}

int columnsOf(std::string_view text)
{
    int cols = 0;
    for (char32_t c : decodeUtf8(text))
        cols += c == U'.' ? 1 : columnWidth(c);
    return cols;
}

} // namespace terminal::test
