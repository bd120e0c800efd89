// Code -> tokens -> HTML and attributed text, and Markdown through the decorator. The cut
// must be lossless: the tokens with their trailing whitespace spell the code again.
#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/MarkdownDecorator.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/SyntaxHighlighter.h"
#include "highlighter/Tokenizer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace highlighter;

namespace {

// The bytes as UTF-16 code units, so that lone surrogates and every code unit are reachable.
QString fromCodeUnits(const std::uint8_t* data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i < size / 2; ++i)
        text[qsizetype(i)] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));
    return text;
}

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

// The text an HTML fragment of spans shows; null when it holds any other markup or a bare
// ampersand, which escaping should have prevented.
QString shownText(const QString& html)
{
    static const QString open = QStringLiteral("<span class=\"");
    static const QString close = QStringLiteral("</span>");
    static const std::pair<QString, QChar> entities[] = {
        {QStringLiteral("&amp;"), u'&'}, {QStringLiteral("&lt;"), u'<'}, {QStringLiteral("&gt;"), u'>'}};
    QString text;
    for (qsizetype i = 0; i < html.size();) {
        const QStringView rest = QStringView(html).sliced(i);
        if (rest.startsWith(open)) {
            const qsizetype end = rest.indexOf(u'>');
            if (end < 0 || rest.sliced(open.size(), end - open.size()).contains(u'<'))
                return {};
            i += end + 1;
        } else if (rest.startsWith(close)) {
            i += close.size();
        } else if (rest.startsWith(u'<') || rest.startsWith(u'>')) {
            return {};
        } else if (rest.startsWith(u'&')) {
            const auto* entity = std::find_if(std::begin(entities), std::end(entities),
                                              [&](const auto& e) { return rest.startsWith(e.first); });
            if (entity == std::end(entities))
                return {};
            text += entity->second;
            i += entity->first.size();
        } else {
            text += html[i++];
        }
    }
    return text;
}

void exercise(const QString& code)
{
    static const auto grammar = std::make_shared<const SwiftGrammar>();
    static const SyntaxHighlighter<HTMLOutputFormat> html(HTMLOutputFormat(QStringLiteral("s-")), grammar);
    static const SyntaxHighlighter<AttributedStringOutputFormat> attributed(
        AttributedStringOutputFormat(Highlight::Theme::presentation(Highlight::Font(13))), grammar);
    static const MarkdownDecorator decorator(QStringLiteral("s-"), grammar);

    QString spelled;
    for (const Segment& segment : Tokenizer().segments(code, *grammar))
        spelled += segment.tokens().current().toString()
            + segment.trailingWhitespace().value_or(QStringView()).toString();
    check(spelled == code, "tokens do not spell the code again");

    const QString shown = shownText(html.highlight(code));
    check(!shown.isNull() || code.isEmpty(), "HTML output holds unescaped markup");
    check(shown == code, "HTML output shows other text than the code");
    check(attributed.highlight(code).text() == code, "attributed text differs from the code");
    decorator.decorate(code);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    exercise(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    exercise(fromCodeUnits(data, size));
    return 0;
}
