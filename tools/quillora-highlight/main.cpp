// quillora-highlight: highlights files as Swift with the application's highlighter, as HTML
// or as the attributed text the file viewer shows, and times it.

#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/SyntaxHighlighter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <memory>

using namespace highlighter;

namespace {

constexpr const char* usage =
    "usage: quillora-highlight [--format html|attributed] [--timings] FILE...\n"
    "\n"
    "Highlights each FILE (UTF-8) as Swift with the application's highlighter.\n"
    "  --format html        HTML to standard output, the files one after another (default)\n"
    "  --format attributed  the attributed text the file viewer shows; one line per file,\n"
    "                       runs=N bytes=N: its runs and the heap bytes it holds\n"
    "  --timings            a last line ms=... mb_per_s=...: the time spent highlighting\n"
    "                       all files (reading excluded) and the UTF-8 megabytes per second\n"
    "  --help               this text\n";

int fail(const QString& message)
{
    std::fprintf(stderr, "quillora-highlight: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    bool html = true;
    bool timings = false;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--help" || a == u"-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (a == u"--timings") {
            timings = true;
        } else if (a == u"--format") {
            if (++i == arguments.size())
                return fail(QStringLiteral("--format needs a value: html or attributed"));
            const QString& value = arguments[i];
            if (value != u"html" && value != u"attributed")
                return fail(QStringLiteral("unknown format '%1': use html or attributed").arg(value));
            html = value == u"html";
        } else if (a.startsWith(u"--") && a != u"--") {
            return fail(QStringLiteral("unknown option '%1' (see --help)").arg(a));
        } else {
            files << (a == u"--" ? arguments.mid(i + 1) : QStringList{a});
            if (a == u"--")
                break;
        }
    }
    if (files.isEmpty())
        return fail(QStringLiteral("no file given (see --help)"));

    // Read everything first, so that the timings hold highlighting only.
    QList<QString> sources;
    qint64 bytes = 0;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        bytes += data.size();
        sources << QString::fromUtf8(data);
    }

    const auto grammar = std::make_shared<const SwiftGrammar>();
    const SyntaxHighlighter<HTMLOutputFormat> htmlHighlighter(HTMLOutputFormat(QStringLiteral("hl-")), grammar);
    const SyntaxHighlighter<AttributedStringOutputFormat> attributedHighlighter(
        AttributedStringOutputFormat(Highlight::Theme::brindlesColors(Highlight::Font(13))), grammar);

    qint64 nanoseconds = 0;
    QElapsedTimer timer;
    bool atLineStart = true;
    for (const QString& source : sources) {
        if (html) {
            timer.start();
            const QString out = htmlHighlighter.highlight(source);
            nanoseconds += timer.nsecsElapsed();
            const QByteArray utf8 = out.toUtf8();
            std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
            if (!utf8.isEmpty())
                atLineStart = utf8.endsWith('\n');
        } else {
            timer.start();
            const richtext::AttributedText out = attributedHighlighter.highlight(source);
            nanoseconds += timer.nsecsElapsed();
            std::printf("runs=%zu bytes=%zu\n", out.runs().size(), out.memoryUsage());
        }
    }
    if (timings) {
        const double ms = double(nanoseconds) / 1e6;
        std::printf("%sms=%.3f mb_per_s=%.2f\n", atLineStart ? "" : "\n", ms, ms > 0 ? double(bytes) / 1e3 / ms : 0.0);
    }
    return std::fflush(stdout) == 0 ? 0 : fail(QStringLiteral("cannot write the output"));
}
