#include "highlighter/Tokenizer.h"

#include "Characters.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

namespace highlighter {

void TokenTable::groupPositions() const
{
    const size_t textCount = m_firstOfText.size();
    m_positionStarts.assign(textCount + 1, 0);
    for (const Token& t : m_tokens)
        ++m_positionStarts[size_t(t.textId) + 1];
    for (size_t id = 0; id < textCount; ++id)
        m_positionStarts[id + 1] += m_positionStarts[id];
    m_positions.resize(m_tokens.size());
    std::vector<quint32> fill(m_positionStarts.begin(), m_positionStarts.end() - 1);
    for (size_t i = 0; i < m_tokens.size(); ++i)
        m_positions[fill[m_tokens[i].textId]++] = quint32(i);
}

qsizetype TokenTable::countBefore(QStringView text, qsizetype index) const
{
    const qsizetype id = m_textIndex.find(*this, text);
    if (id < 0)
        return 0;
    std::call_once(m_grouped, [this] { groupPositions(); });
    const auto first = m_positions.begin() + m_positionStarts[size_t(id)];
    const auto last = m_positions.begin() + m_positionStarts[size_t(id) + 1];
    return std::lower_bound(first, last, quint32(index)) - first;
}

qsizetype TokenTable::TextIndex::find(const TokenTable& table, QStringView text) const
{
    if (m_slots.empty())
        return -1;
    const quint32 h = characters::hashUnits(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
        const Slot& s = m_slots[slot];
        if (s.id == free)
            return -1;
        if (s.hash == h && characters::sameUnits(table.text(table.m_firstOfText[s.id]), text))
            return s.id;
    }
}

quint32 TokenTable::TextIndex::intern(TokenTable& table, qsizetype index)
{
    const Token& token = table.token(index);
    if (token.length == 1) {
        const char16_t unit = QStringView(table.m_code).utf16()[token.start];
        if (unit < 128) {
            quint32& id = m_asciiIds[unit];
            if (id == free)
                id = internByHash(table, index);
            return id;
        }
    }
    return internByHash(table, index);
}

quint32 TokenTable::TextIndex::internByHash(TokenTable& table, qsizetype index)
{
    if ((m_used + 1) * 2 > m_slots.size())
        grow(std::max<std::size_t>(64, m_slots.size() * 2));
    const QStringView text = table.text(index);
    const quint32 h = characters::hashUnits(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
        Slot& s = m_slots[slot];
        if (s.id == free) {
            s = {h, quint32(table.m_firstOfText.size())};
            table.m_firstOfText.push_back(quint32(index));
            table.m_textHashes.push_back(h);
            ++m_used;
            return s.id;
        }
        if (s.hash == h && characters::sameUnits(table.text(table.m_firstOfText[s.id]), text))
            return s.id;
    }
}

void TokenTable::TextIndex::reserve(std::size_t texts)
{
    std::size_t slotCount = 64;
    while (slotCount < texts * 2)
        slotCount *= 2;
    if (slotCount > m_slots.size())
        grow(slotCount);
}

void TokenTable::TextIndex::grow(std::size_t slotCount)
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(slotCount, Slot{});
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& s : old) {
        if (s.id == free)
            continue;
        std::size_t slot = s.hash & mask;
        while (m_slots[slot].id != free)
            slot = (slot + 1) & mask;
        m_slots[slot] = s;
    }
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
    if (m_table->whitespaceLength(m_index) == 0)
        return std::nullopt;
    return m_table->trailingWhitespace(m_index);
}

namespace {

enum class CharacterClass : quint8 { whitespace, lineBreak, delimiter, word, notAscii };

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
    if (quint64(code.size()) >= std::numeric_limits<quint32>::max())
        throw std::length_error("code longer than 2^32 - 1 units");
    auto table = std::make_shared<TokenTable>();
    table->m_code = code;
    table->m_boundaries = characters::graphemeBoundaries(code);
    const QStringView text(table->m_code);
    auto& tokens = table->m_tokens;
    // Source code has a token every five characters or more: room for them at once keeps
    // the tokens and the index of their texts from moving as they grow.
    tokens.reserve(size_t(code.size() / 5 + 16));
    table->m_firstOfText.reserve(size_t(code.size() / 16 + 16));
    table->m_textHashes.reserve(size_t(code.size() / 16 + 16));
    table->m_textIndex.reserve(size_t(code.size() / 16 + 16));

    // The classes of the ASCII units, and one more for every other unit.
    std::array<CharacterClass, 129> asciiClasses;
    for (char32_t c = 0; c < 128; ++c)
        asciiClasses[c] = classify(c, grammar);
    asciiClasses[128] = CharacterClass::notAscii;

    // The token being built: [start, end) followed by whitespace up to wsEnd.
    bool building = false;
    TokenTable::Token current;
    qsizetype lastCharacterStart = 0;
    qsizetype wsEnd = 0;

    const auto finish = [&] {
        const auto index = quint32(tokens.size());
        current.lineStart = index == 0 ? 0 : (tokens.back().isLastOnLine ? index : tokens.back().lineStart);
        tokens.push_back(current);
    };
    const auto begin = [&](qsizetype start, qsizetype end, bool isDelimiter) {
        current = {};
        current.start = quint32(start);
        current.length = quint32(end - start);
        current.isDelimiter = isDelimiter;
        lastCharacterStart = start;
        wsEnd = end;
        building = true;
    };

    const qsizetype size = text.size();
    const char16_t* units = text.utf16();
    // A one-unit ASCII character that no following unit joins (the last one of the code, or
    // one before another ASCII unit).
    const auto isPlainAscii = [&](qsizetype p) {
        return units[p] < 0x80 && (p + 1 == size || units[p + 1] < 0x80);
    };
    qsizetype position = 0;
    while (position < size) {
        const char16_t unit = units[position];
        qsizetype end;
        CharacterClass cls;
        if (isPlainAscii(position)) {
            cls = asciiClasses[unit];
            end = position + 1;
            // Runs of word characters and of whitespace are taken whole, up to a unit that is
            // not ASCII: it may join the last character of the run, which is then left out.
            const auto classAt = [&](qsizetype p) { return asciiClasses[std::min<unsigned>(units[p], 128)]; };
            if (cls == CharacterClass::word) {
                while (end < size && classAt(end) == CharacterClass::word)
                    ++end;
            } else if (cls == CharacterClass::whitespace || cls == CharacterClass::lineBreak) {
                for (CharacterClass next; end < size
                                          && ((next = classAt(end)) == CharacterClass::whitespace
                                              || next == CharacterClass::lineBreak);
                     ++end) {
                    if (next == CharacterClass::lineBreak)
                        cls = CharacterClass::lineBreak;
                }
            }
            if (end < size && units[end] >= 0x80 && end > position + 1)
                --end;
            // A carriage return and a line feed are one character, even where the line feed
            // is followed by something that is not ASCII.
            if (units[end - 1] == u'\r' && end < size && units[end] == u'\n')
                ++end;
        } else {
            end = table->nextCharacterBoundary(position);
            cls = classify(characters::scalarAt(text, position), grammar);
        }

        if (cls == CharacterClass::whitespace || cls == CharacterClass::lineBreak) {
            if (!building)
                begin(position, position, false);
            wsEnd = end;
            if (cls == CharacterClass::lineBreak)
                current.isLastOnLine = true;
        } else if (cls == CharacterClass::word) {
            // Word characters always join a word token that no whitespace ended.
            if (!building || wsEnd > qsizetype(current.start + current.length) || current.isDelimiter) {
                if (building)
                    finish();
                begin(position, end, false);
            } else {
                current.length = quint32(end - current.start);
                wsEnd = end;
            }
        } else {
            const qsizetype tokenEnd = qsizetype(current.start + current.length);
            if (!building) {
                begin(position, end, true);
            } else if (wsEnd > tokenEnd || !current.isDelimiter
                       || !grammar.isDelimiter(text.sliced(lastCharacterStart, tokenEnd - lastCharacterStart),
                                               text.sliced(position, end - position))) {
                finish();
                begin(position, end, true);
            } else {
                current.length = quint32(end - current.start);
                lastCharacterStart = position;
                wsEnd = end;
            }
        }
        position = end;
    }
    if (building)
        finish();
    // Texts are numbered in a pass of their own: one token's lookup does not wait for the
    // last one's, so the processor overlaps them.
    for (qsizetype i = 0; i < qsizetype(tokens.size()); ++i)
        tokens[size_t(i)].textId = table->m_textIndex.intern(*table, i);

    table->m_facts = grammar.gatherFacts(*table);
    Q_ASSERT(table->m_facts.empty() || table->m_facts.size() == tokens.size());
    return Segments(std::move(table));
}

} // namespace highlighter
