#include "richtext/AttributedText.h"

namespace richtext {

AttributedText::AttributedText(const QString& text, const TextAttributes& attributes)
{
    append(text, attributes);
}

void AttributedText::append(const QString& text, const TextAttributes& attributes)
{
    if (text.isEmpty())
        return;
    m_runs.push_back({m_text.size(), text.size(), attributes});
    m_text += text;
}

void AttributedText::append(const AttributedText& other)
{
    for (const TextRun& run : other.m_runs)
        append(other.m_text.mid(run.start, run.length), run.attributes);
}

} // namespace richtext
