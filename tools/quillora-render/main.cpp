// quillora-render [--theme basic|docC|gitHub] [--scheme light|dark] [--width PX] [--png OUT.png]
//                 [--dump] [--timings] FILE

#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include <QApplication>

#include <cstdio>

namespace {

const char* usage =
    "usage: quillora-render [--theme basic|docC|gitHub] [--scheme light|dark] [--width PX] [--png OUT.png]\n"
    "                       [--dump] [--timings] FILE\n"
    "Renders a Markdown file offscreen at a width (default 900).\n"
    "  --png OUT.png  write the rendered document as an image\n"
    "  --dump         print the laid-out tree, one node per line (type, frame, margins)\n"
    "  --timings      print parse_ms build_ms first_layout_ms full_layout_ms paint_ms last\n";

int fail(const QString& message)
{
    std::fprintf(stderr, "quillora-render: %s\n", qUtf8Printable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    mddoc::Theme theme = mddoc::themes::basic();
    mdview::ColorScheme scheme = mdview::ColorScheme::light;
    double width = 900;
    QString png;
    bool dump = false, timings = false;
    QString file;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        QString v;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == QLatin1String("--theme")) {
            if (!value(v))
                return fail(QStringLiteral("--theme needs a value"));
            if (v == QLatin1String("basic"))
                theme = mddoc::themes::basic();
            else if (v == QLatin1String("docC"))
                theme = mddoc::themes::docC();
            else if (v == QLatin1String("gitHub"))
                theme = mddoc::themes::gitHub();
            else
                return fail(QStringLiteral("unknown theme '%1' (basic, docC or gitHub)").arg(v));
        } else if (arg == QLatin1String("--scheme")) {
            if (!value(v))
                return fail(QStringLiteral("--scheme needs a value"));
            if (v == QLatin1String("light"))
                scheme = mdview::ColorScheme::light;
            else if (v == QLatin1String("dark"))
                scheme = mdview::ColorScheme::dark;
            else
                return fail(QStringLiteral("unknown scheme '%1' (light or dark)").arg(v));
        } else if (arg == QLatin1String("--width")) {
            bool ok = false;
            if (!value(v) || (width = v.toDouble(&ok), !ok) || !(width >= 1 && width <= 100000))
                return fail(QStringLiteral("--width needs a number of pixels from 1 to 100000"));
        } else if (arg == QLatin1String("--png")) {
            if (!value(png))
                return fail(QStringLiteral("--png needs a file name"));
        } else if (arg == QLatin1String("--dump")) {
            dump = true;
        } else if (arg == QLatin1String("--timings")) {
            timings = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("unknown option %1 (see --help)").arg(arg));
        } else if (file.isEmpty()) {
            file = arg;
        } else {
            return fail(QStringLiteral("one file only (see --help)"));
        }
    }
    if (file.isEmpty())
        return fail(QStringLiteral("no file given (see --help)"));
    QString text, error;
    if (!mddoc::readMarkdownFile(file, text, error))
        return fail(error);

    mddoc::OffscreenDocument document(text, theme, scheme, width);
    // Images from the network come in over the event loop: wait for them before a picture.
    if (!png.isEmpty())
        document.settle(10000);
    if (dump)
        std::fputs(qUtf8Printable(document.dump()), stdout);
    const double screen = std::min(document.height(), 1000.0);
    // A picture of a whole long document would not fit in memory: its first 30,000 pixels.
    constexpr double longestImage = 30000;
    if (!png.isEmpty() && document.height() > longestImage)
        std::fprintf(stderr, "quillora-render: the image shows the first %.0f of %.0f pixels\n", longestImage,
                     document.height());
    QImage image = document.paint(0, std::max(1.0, png.isEmpty() ? screen : std::min(document.height(), longestImage)));
    if (!png.isEmpty() && !image.save(png))
        return fail(QStringLiteral("%1: cannot write the image").arg(png));
    if (timings) {
        const auto& t = document.timings();
        std::printf("parse_ms=%.1f build_ms=%.1f first_layout_ms=%.1f full_layout_ms=%.1f paint_ms=%.1f\n", t.parseMs,
                    t.buildMs, t.firstLayoutMs, t.fullLayoutMs, t.paintMs);
    }
    return 0;
}
