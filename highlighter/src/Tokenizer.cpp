#include "highlighter/Tokenizer.h"

#include "Characters.h"

#include <algorithm>
#include <array>

namespace highlighter {

qsizetype TokenTable::countBefore(QStringView text, qsizetype index) const
{
    const qsizetype id = m_textIndex.find(*this, text);
    if (id < 0)
        return 0;
    const auto first = m_positions.begin() + m_positionStarts[size_t(id)];
    const auto last = m_positions.begin() + m_positionStarts[size_t(id) + 1];
    return std::lower_bound(first, last, index) - first;
}

std::size_t TokenTable::TextIndex::hash(QStringView text)
{
    // FNV-1a over the UTF-16 units.
    std::uint64_t h = 14695981039346656037ull;
    for (QChar c : text) {
        h ^= c.unicode();
        h *= 1099511628211ull;
    }
    return std::size_t(h ^ (h >> 29));
}

qsizetype TokenTable::TextIndex::find(const TokenTable& table, QStringView text) const
{
    if (m_slots.empty())
        return -1;
    const std::size_t h = hash(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
        const Slot& s = m_slots[slot];
        if (s.id < 0 || (s.hash == h && table.text(table.m_firstOfText[size_t(s.id)]) == text))
            return s.id;
    }
}

qsizetype TokenTable::TextIndex::intern(TokenTable& table, qsizetype index)
{
    if ((m_used + 1) * 2 > m_slots.size())
        grow();
    const QStringView text = table.text(index);
    const std::size_t h = hash(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
        Slot& s = m_slots[slot];
        if (s.id < 0) {
            s = {h, qsizetype(table.m_firstOfText.size())};
            table.m_firstOfText.push_back(index);
            ++m_used;
            return s.id;
        }
        if (s.hash == h && table.text(table.m_firstOfText[size_t(s.id)]) == text)
            return s.id;
    }
}

void TokenTable::TextIndex::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(64, old.size() * 2), Slot{});
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& s : old) {
        if (s.id < 0)
            continue;
        std::size_t slot = s.hash & mask;
        while (m_slots[slot].id >= 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = s;
    }
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


    // The token being built: [start, end) followed by whitespace up to wsEnd.
    bool building = false;
    TokenTable::Token current;
    qsizetype lastCharacterStart = 0;
    qsizetype wsEnd = 0;

    const auto finish = [&] {
        current.whitespaceLength = wsEnd - (current.start + current.length);
        const qsizetype index = qsizetype(tokens.size());
        current.lineStart = index == 0 ? 0 : (tokens.back().isLastOnLine ? index : tokens.back().lineStart);
        tokens.push_back(current);
        tokens.back().textId = table->m_textIndex.intern(*table, index);
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
        if (unit < 0x80 && (position + 1 == size || text[position + 1].unicode() < 0x80)) {
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
    Q_ASSERT(table->m_facts.empty() || table->m_facts.size() == tokens.size());
    return Segments(std::move(table));
}

} // namespace highlighter
