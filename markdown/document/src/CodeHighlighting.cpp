#include "CodeHighlighting.h"

#include <QHash>

#include <list>
#include <mutex>
#include <unordered_map>

namespace mddoc {

namespace {

struct Key {
    // Kept alive by the entry, so that its address names no other highlighter meanwhile.
    std::shared_ptr<const mdview::CodeSyntaxHighlighter> highlighter;
    QString code;
    std::optional<QString> language;
    mdview::ColorScheme scheme = mdview::ColorScheme::light;
    friend bool operator==(const Key&, const Key&) = default;
};

struct KeyHash {
    std::size_t operator()(const Key& key) const
    {
        return qHashMulti(0, quintptr(key.highlighter.get()), key.code, key.language.value_or(QStringLiteral("\x01")),
                          int(key.scheme));
    }
};

// Least recently used entries go first once the kept code passes the budget.
class Cache {
public:
    std::optional<richtext::AttributedText> find(const Key& key)
    {
        const auto it = m_index.find(key);
        if (it == m_index.end())
            return std::nullopt;
        m_entries.splice(m_entries.begin(), m_entries, it->second);
        return it->second->second;
    }

    void insert(Key key, richtext::AttributedText text)
    {
        const qsizetype size = key.code.size();
        if (size > budget / 4)
            return; // one huge block would push out everything else
        m_entries.emplace_front(key, std::move(text));
        m_index.emplace(std::move(key), m_entries.begin());
        m_size += size;
        while (m_size > budget && !m_entries.empty()) {
            m_size -= m_entries.back().first.code.size();
            m_index.erase(m_entries.back().first);
            m_entries.pop_back();
        }
    }

private:
    static constexpr qsizetype budget = 16 * 1024 * 1024; // characters of code
    std::list<std::pair<Key, richtext::AttributedText>> m_entries;
    std::unordered_map<Key, decltype(m_entries)::iterator, KeyHash> m_index;
    qsizetype m_size = 0;
};

std::mutex mutex;
Cache cache;
std::size_t misses = 0;

} // namespace

richtext::AttributedText highlightedCode(const std::shared_ptr<const mdview::CodeSyntaxHighlighter>& highlighter,
                                         const QString& code, const std::optional<QString>& language,
                                         mdview::ColorScheme scheme)
{
    if (!highlighter)
        return richtext::AttributedText(code);
    Key key{highlighter, code, language, scheme};
    {
        std::lock_guard lock(mutex);
        if (auto found = cache.find(key))
            return *found;
        ++misses;
    }
    richtext::AttributedText text = highlighter->highlightCode(code, language);
    std::lock_guard lock(mutex);
    cache.insert(std::move(key), text);
    return text;
}

std::size_t codeHighlightingMisses()
{
    std::lock_guard lock(mutex);
    return misses;
}

} // namespace mddoc
