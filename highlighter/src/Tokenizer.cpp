#include "highlighter/Tokenizer.h"

#include "Characters.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace highlighter {

QStringView TokenTable::text(qsizetype index) const
{
    const Token& t = token(index);
    return QStringView(m_code).sliced(t.start, t.length);
}

QStringView TokenTable::trailingWhitespace(qsizetype index) const
{
    const Token& t = token(index);
    return QStringView(m_code).sliced(t.start + t.length, t.whitespaceLength);
}

qsizetype TokenTable::countBefore(QStringView text, qsizetype index) const
{
    const auto it = m_ids.constFind(text);
    if (it == m_ids.constEnd())
        return 0;
    const auto first = m_positions.begin() + m_positionStarts[size_t(*it)];
    const auto last = m_positions.begin() + m_positionStarts[size_t(*it) + 1];
    return std::lower_bound(first, last, index) - first;
}

bool TokenTable::isCharacterBoundary(qsizetype position) const
{
    if (position <= 0 || position >= m_code.size())
        return true;
    if (!m_boundaries.empty())
        return m_boundaries[size_t(position)];
    return !(m_code[position - 1] == u'\r' && m_code[position] == u'\n');
}

qsizetype TokenTable::nextCharacterBoundary(qsizetype position) const
{
    qsizetype p = position + 1;
    while (p < m_code.size() && !isCharacterBoundary(p))
        ++p;
    return std::min(p, m_code.size());
}

std::optional<QStringView> Segment::Tokens::previous() const
{
    if (m_index == 0)
        return std::nullopt;
    return m_table->text(m_index - 1);
}

std::optional<QStringView> Segment::Tokens::next() const
{
    if (m_index + 1 >= m_table->size())
        return std::nullopt;
    return m_table->text(m_index + 1);
}

std::optional<QStringView> Segment::trailingWhitespace() const
{
    if (m_table->token(m_index).whitespaceLength == 0)
        return std::nullopt;
    return m_table->trailingWhitespace(m_index);
}

namespace {

enum class CharacterClass : quint8 { whitespace, lineBreak, delimiter, word };

CharacterClass classify(char32_t scalar, const Grammar& grammar)
{
    if (characters::isWhitespace(scalar))
        return CharacterClass::whitespace;
    if (characters::isLineBreak(scalar))
        return CharacterClass::lineBreak;
    return grammar.delimitersContain(scalar) ? CharacterClass::delimiter : CharacterClass::word;
}

} // namespace

Segments Tokenizer::segments(const QString& code, const Grammar& grammar) const
{
    auto table = std::make_shared<TokenTable>();
    table->m_code = code;
    table->m_boundaries = characters::graphemeBoundaries(code);
    const QStringView text(table->m_code);
    auto& tokens = table->m_tokens;

    std::array<CharacterClass, 128> asciiClasses;
    for (char32_t c = 0; c < 128; ++c)
        asciiClasses[c] = classify(c, grammar);

    auto& ids = table->m_ids;

    // The token being built: [start, end) followed by whitespace up to wsEnd.
    bool building = false;
    TokenTable::Token current;
    qsizetype lastCharacterStart = 0;
    qsizetype wsEnd = 0;

    const auto finish = [&] {
        current.whitespaceLength = wsEnd - (current.start + current.length);
        const qsizetype index = qsizetype(tokens.size());
        current.lineStart = index == 0 ? 0 : (tokens.back().isLastOnLine ? index : tokens.back().lineStart);
        const QStringView tokenText = text.sliced(current.start, current.length);
        auto it = ids.constFind(tokenText);
        if (it == ids.constEnd()) {
            it = ids.insert(tokenText, qsizetype(table->m_firstOfText.size()));
            table->m_firstOfText.push_back(index);
        }
        current.textId = *it;
        tokens.push_back(current);
    };
    const auto begin = [&](qsizetype start, qsizetype end, bool isDelimiter) {
        current = {};
        current.start = start;
        current.length = end - start;
        current.isDelimiter = isDelimiter;
        lastCharacterStart = start;
        wsEnd = end;
        building = true;
    };

    const qsizetype size = text.size();
    qsizetype position = 0;
    while (position < size) {
        const char16_t unit = text[position].unicode();
        qsizetype end;
        CharacterClass cls;
        if (unit < 0x80 && table->m_boundaries.empty()) {
            end = (unit == u'\r' && position + 1 < size && text[position + 1] == u'\n') ? position + 2 : position + 1;
            cls = asciiClasses[unit];
        } else {
            end = table->nextCharacterBoundary(position);
            cls = classify(characters::scalarAt(text, position), grammar);
        }

        if (cls == CharacterClass::whitespace || cls == CharacterClass::lineBreak) {
            if (!building) {
                begin(position, position, false);
            }
            wsEnd = end;
            if (cls == CharacterClass::lineBreak)
                current.isLastOnLine = true;
        } else {
            const bool isDelimiter = cls == CharacterClass::delimiter;
            const qsizetype tokenEnd = current.start + current.length;
            if (!building) {
                begin(position, end, isDelimiter);
            } else if (wsEnd > tokenEnd || current.isDelimiter != isDelimiter
                       || (isDelimiter
                           && !grammar.isDelimiter(text.sliced(lastCharacterStart, tokenEnd - lastCharacterStart),
                                                   text.sliced(position, end - position)))) {
                finish();
                begin(position, end, isDelimiter);
            } else {
                current.length = end - current.start;
                lastCharacterStart = position;
                wsEnd = end;
            }
        }
        position = end;
    }
    if (building)
        finish();

    // Token indices grouped by text, for counting occurrences before a token.
    const size_t textCount = table->m_firstOfText.size();
    table->m_positionStarts.assign(textCount + 1, 0);
    for (const auto& t : tokens)
        ++table->m_positionStarts[size_t(t.textId) + 1];
    for (size_t id = 0; id < textCount; ++id)
        table->m_positionStarts[id + 1] += table->m_positionStarts[id];
    table->m_positions.resize(tokens.size());
    std::vector<qsizetype> fill(table->m_positionStarts.begin(), table->m_positionStarts.end() - 1);
    for (qsizetype i = 0; i < qsizetype(tokens.size()); ++i)
        table->m_positions[size_t(fill[size_t(tokens[size_t(i)].textId)]++)] = i;

    table->m_facts = grammar.gatherFacts(*table);
    return Segments(std::move(table));
}

} // namespace highlighter
