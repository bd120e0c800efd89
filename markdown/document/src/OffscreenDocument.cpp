#include "mddoc/OffscreenDocument.h"

#include "mddoc/MarkdownView.h"

#include "mdview/Environment.h"
#include "mdview/RenderNode.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QStringDecoder>

#include <cmath>

namespace mddoc {

using namespace mdview;

namespace {

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

OffscreenDocument::OffscreenDocument(const QString& text, const Theme& theme, ColorScheme scheme, double width,
                                     std::function<View(const View&)> modifiers, std::optional<double> viewportHeight)
    : m_scheme(scheme), m_width(width), m_viewportHeight(viewportHeight)
{
    m_host.setViewportHeight(viewportHeight);
    QElapsedTimer timer;
    timer.start();
    const QByteArray utf8 = text.toUtf8();
    const markdown::MarkdownContent content(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    m_timings.parseMs = elapsedMs(timer);

    timer.restart();
    View view = MarkdownView(content);
    if (modifiers)
        view = modifiers(view);
    Environment environment;
    environment.colorScheme = scheme;
    environment.setTheme(theme);
    m_host.setEnvironment(environment);
    m_host.setView(view);
    m_timings.buildMs = elapsedMs(timer);

    timer.restart();
    m_height = m_host.layout(width);
    m_timings.firstLayoutMs = elapsedMs(timer);
    m_timings.fullLayoutMs = m_timings.firstLayoutMs; // unless lazily: then when it settles
}

void OffscreenDocument::settle(int timeoutMs)
{
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    const auto connection = QObject::connect(&m_host, &ViewHost::layoutChanged, [&quiet] { quiet.restart(); });
    bool wasSettled = m_host.isSettled();
    while ((quiet.elapsed() < 250 || !m_host.isSettled()) && total.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (m_host.isSettled() && !wasSettled)
            m_timings.fullLayoutMs = m_timings.firstLayoutMs + double(total.nsecsElapsed()) / 1e6;
        wasSettled = m_host.isSettled();
    }
    QObject::disconnect(connection);
    m_height = m_host.layout(m_width);
}

double OffscreenDocument::scrollTo(double top, bool toEnd)
{
    if (toEnd)
        top = std::max(0.0, m_height - m_viewportHeight.value_or(0));
    m_host.scrollTo(top, toEnd);
    m_height = m_host.layout(m_width);
    const double limit = std::max(0.0, m_height - m_viewportHeight.value_or(0));
    const double clamped = std::clamp(m_host.viewportTop(), 0.0, limit);
    if (clamped != m_host.viewportTop()) {
        m_host.scrollTo(clamped, toEnd);
        m_height = m_host.layout(m_width);
    }
    return clamped;
}

void OffscreenDocument::setWidth(double width)
{
    m_width = width;
    m_height = m_host.layout(width);
}

QString OffscreenDocument::dump() const
{
    return m_host.root() ? dumpLayout(*m_host.root()) : QString();
}

QImage OffscreenDocument::paint(double top, std::optional<double> height)
{
    const double h = std::max(1.0, height.value_or(m_height - top));
    QImage image(QSize(int(std::ceil(m_width)), int(std::ceil(h))), QImage::Format_ARGB32_Premultiplied);
    image.fill(m_scheme == ColorScheme::dark ? QColor(30, 30, 30) : QColor(Qt::white));
    QElapsedTimer timer;
    timer.start();
    {
        QPainter painter(&image);
        painter.translate(0, -top);
        m_host.paint(painter, QRectF(0, top, m_width, h));
    }
    m_timings.paintMs = elapsedMs(timer);
    return image;
}

bool readMarkdownFile(const QString& path, QString& text, QString& error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (!info.isFile()) {
        error = QStringLiteral("%1: not a regular file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) {
        error = QStringLiteral("%1: not UTF-8 text").arg(path);
        return false;
    }
    decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text = decoded;
    return true;
}

} // namespace mddoc
