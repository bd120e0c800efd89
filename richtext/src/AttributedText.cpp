#include "richtext/AttributedText.h"

#include <QHashFunctions>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace richtext {

namespace {

std::size_t combine(std::size_t seed, std::size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

std::size_t hashOf(const Color& c)
{
    return combine(combine(qHash(c.red), qHash(c.green)), combine(qHash(c.blue), qHash(c.alpha)));
}

template <class T, class F>
std::size_t hashOf(const std::optional<T>& value, F&& hash)
{
    return value ? combine(1, hash(*value)) : 0;
}

std::size_t hashOf(const LineStyle& line)
{
    return combine(std::size_t(line.pattern), hashOf(line.color, [](const Color& c) { return hashOf(c); }));
}

std::size_t hashOf(const FontSpec& f)
{
    std::size_t h = combine(qHash(f.family), qHash(f.filePath));
    h = combine(h, qHash(f.pixelSize));
    h = combine(h, std::size_t(f.weight) << 8 | std::size_t(f.italic) | std::size_t(f.monospaced) << 1
                       | std::size_t(f.smallCaps) << 2 | std::size_t(f.tabularDigits) << 3);
    return combine(h, std::size_t(f.stretch));
}

std::size_t hashOf(const TextAttributes& a)
{
    const auto color = [](const Color& c) { return hashOf(c); };
    const auto line = [](const LineStyle& l) { return hashOf(l); };
    const auto number = [](double d) { return std::size_t(qHash(d)); };
    std::size_t h = combine(hashOf(a.foregroundColor, color), hashOf(a.backgroundColor, color));
    h = combine(h, hashOf(a.font, [](const FontSpec& f) { return hashOf(f); }));
    h = combine(h, qHash(a.link));
    h = combine(h, combine(hashOf(a.underline, line), hashOf(a.strikethrough, line)));
    h = combine(h, combine(hashOf(a.kerning, number), hashOf(a.tracking, number)));
    return combine(h, hashOf(a.baselineOffset, number));
}

} // namespace

AttributedText::AttributedText(const QString& text, const TextAttributes& attributes)
{
    append(text, attributes);
}

const TextAttributes* AttributedText::attributesAt(qsizetype position) const
{
    if (position < 0 || position >= m_text.size())
        return nullptr;
    const auto run = std::upper_bound(m_runs.begin(), m_runs.end(), quint32(position),
                                      [](quint32 p, const StoredRun& r) { return p < r.end; });
    return &m_styles[run->style];
}

StyleIndex AttributedText::addStyle(const TextAttributes& attributes)
{
    constexpr std::size_t fewStyles = 16;
    const std::size_t hash = hashOf(attributes);
    if (m_styleIndex.empty()) {
        for (std::size_t i = 0; i < m_styleHashes.size(); ++i) {
            if (m_styleHashes[i] == hash && m_styles[i] == attributes)
                return StyleIndex(i);
        }
    } else {
        const auto [first, last] = m_styleIndex.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            if (m_styles[it->second] == attributes)
                return it->second;
        }
    }
    const auto index = StyleIndex(m_styles.size());
    m_styles.push_back(attributes);
    m_styleHashes.push_back(hash);
    if (!m_styleIndex.empty()) {
        m_styleIndex.emplace(hash, index);
    } else if (m_styles.size() > fewStyles) {
        for (std::size_t i = 0; i < m_styleHashes.size(); ++i)
            m_styleIndex.emplace(m_styleHashes[i], StyleIndex(i));
    }
    return index;
}

void AttributedText::tooLong()
{
    throw std::length_error("attributed text longer than 2^32 - 1 units");
}

void AttributedText::append(QStringView text, StyleIndex style)
{
    if (text.isEmpty())
        return;
    Q_ASSERT(style < m_styles.size());
    extendRuns(m_text.size() + text.size(), style);
    m_text.append(text);
}

AttributedText AttributedText::Styler::finish() &&
{
    if (m_styled < m_result.m_text.size())
        m_result.m_text.truncate(m_styled);
    // Room reserved from an estimate: given back when much of it went unused.
    if (m_result.m_runs.capacity() > m_result.m_runs.size() + m_result.m_runs.size() / 4)
        m_result.m_runs.shrink_to_fit();
    return std::move(m_result);
}

void AttributedText::append(const AttributedText& other)
{
    std::vector<StyleIndex> mapped;
    mapped.reserve(other.m_styles.size());
    for (const TextAttributes& attributes : other.m_styles)
        mapped.push_back(addStyle(attributes));
    // Room grows in the usual doubling steps: reserving the exact size on every append would
    // copy everything so far each time, and a text built piece by piece would take quadratic time.
    if (m_runs.size() + other.m_runs.size() > m_runs.capacity())
        m_runs.reserve(std::max(m_runs.size() + other.m_runs.size(), 2 * m_runs.capacity()));
    for (const TextRun run : other.runs())
        append(QStringView(other.m_text).sliced(run.start, run.length), mapped[run.style]);
}

AttributedText AttributedText::sliced(qsizetype position, qsizetype length) const
{
    position = std::clamp<qsizetype>(position, 0, m_text.size());
    const qsizetype end = length < 0 ? m_text.size() : position + std::min(length, m_text.size() - position);
    AttributedText result;
    // From the run that holds the first character on.
    auto run = std::upper_bound(m_runs.begin(), m_runs.end(), quint32(position),
                                [](quint32 p, const StoredRun& r) { return p < r.end; });
    for (qsizetype at = position; at < end; ++run) {
        const qsizetype stop = std::min<qsizetype>(end, run->end);
        result.append(QStringView(m_text).sliced(at, stop - at), m_styles[run->style]);
        at = stop;
    }
    return result;
}

void AttributedText::reserve(qsizetype textLength, qsizetype runCount)
{
    m_text.reserve(textLength);
    m_runs.reserve(std::size_t(std::max<qsizetype>(runCount, 0)));
}

void AttributedText::squeeze()
{
    m_text.squeeze();
    m_runs.shrink_to_fit();
}

std::size_t AttributedText::memoryUsage() const
{
    std::size_t bytes = std::size_t(m_text.capacity()) * sizeof(QChar) + m_runs.capacity() * sizeof(StoredRun)
                        + m_styles.capacity() * sizeof(TextAttributes);
    for (const TextAttributes& a : m_styles) {
        bytes += std::size_t(a.link.capacity()) * sizeof(QChar);
        if (a.font)
            bytes += std::size_t(a.font->family.capacity() + a.font->filePath.capacity()) * sizeof(QChar);
    }
    // The interning hashes, and the index: one node per style and its bucket array.
    return bytes + m_styleHashes.capacity() * sizeof(std::size_t) + m_styleIndex.size() * (sizeof(void*) + sizeof(std::size_t) + sizeof(StyleIndex) + sizeof(void*))
           + m_styleIndex.bucket_count() * sizeof(void*);
}

bool operator==(const AttributedText& a, const AttributedText& b)
{
    if (a.m_text != b.m_text || a.m_runs.size() != b.m_runs.size())
        return false;
    for (std::size_t i = 0; i < a.m_runs.size(); ++i) {
        if (a.m_runs[i].end != b.m_runs[i].end || a.m_styles[a.m_runs[i].style] != b.m_styles[b.m_runs[i].style])
            return false;
    }
    return true;
}

} // namespace richtext
