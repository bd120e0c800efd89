#include "feedback/board/BoardStyle.h"

#include "feedback/LogLine.h"
#include "feedback/Plendra.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmapCache>
#include <QScrollArea>
#include <QSet>
#include <QSvgRenderer>
#include <QVBoxLayout>

// The resources of a static library are registered by hand, once.
static void registerBoardSymbols()
{
    Q_INIT_RESOURCE(board_symbols);
}

namespace plendra {

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness()
        ? Appearance::dark
        : Appearance::light;
}

QColor textColor(const Theme& theme, Appearance appearance)
{
    if (theme.textColor)
        return theme.textColor->color(appearance);
    return appearance == Appearance::dark ? colors::white() : colors::black();
}

QColor cardColor(const Theme& theme, Appearance appearance)
{
    return theme.secondary().color(appearance);
}

QColor boardBackground(const Theme& theme, Appearance appearance)
{
    return theme.tertiary().color(appearance);
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

namespace fonts {

QFont system(int pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont title()
{
    return system(17, QFont::DemiBold);
}

QFont body()
{
    return system(13);
}

QFont footnote()
{
    return system(12);
}

QFont caption2()
{
    return system(11);
}

} // namespace fonts

namespace {

QString symbolPath(const QString& name)
{
    static const bool registered = (registerBoardSymbols(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/plendra/symbols/") + name + QStringLiteral(".svg");
}

} // namespace

bool hasBoardSymbol(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && QFile::exists(symbolPath(name));
}

void paintBoardSymbol(QPainter& painter, const QString& name, const QColor& color, const QRectF& box)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int side = qCeil(std::max(box.width(), box.height()));
    painter.drawPixmap(box.toRect(), boardSymbol(name, color, side, ratio));
}

QPixmap boardSymbol(const QString& name, const QColor& color, int size, qreal devicePixelRatio)
{
    // Rows paint their symbols on every frame of a vote's pulse: each drawing is made once.
    const QString key = QStringLiteral("plendra-symbol:%1:%2:%3:%4")
                            .arg(name)
                            .arg(color.rgba(), 0, 16)
                            .arg(size)
                            .arg(devicePixelRatio);
    if (QPixmap cached; QPixmapCache::find(key, &cached))
        return cached;
    const int pixels = std::max(1, qRound(size * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (hasBoardSymbol(name)) {
        QSvgRenderer renderer(symbolPath(name));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // The drawing's coverage, in the one colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QString upvoteSymbolName(const PlendraUpvoteIcon& icon)
{
    static const QString fallback = PlendraUpvoteIcon::arrowUpvoteIcon().symbolName();
    if (icon.kind() != PlendraUpvoteIcon::Kind::systemName)
        return icon.symbolName();
    const QString name = icon.name().trimmed();
    if (hasBoardSymbol(name))
        return name;
    // Cards are painted on every frame of an animation: each unusable name is reported once.
    static QMutex mutex;
    static QSet<QString> reported;
    const QMutexLocker lock(&mutex);
    if (!reported.contains(icon.name())) {
        reported.insert(icon.name());
        const QString reason = name.isEmpty() ? QStringLiteral("Received empty upvote symbol name.")
                                              : QStringLiteral("Received invalid SF Symbol '%1'.").arg(name);
        logLine(LogLineLevel::debug, __LINE__, u"WishView",
                QStringLiteral("Falling back to .arrowUpvoteIcon (arrowtriangle.up.fill). Reason: ") + reason);
    }
    return fallback;
}

void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, qreal blur, qreal opacity, QPointF offset)
{
    if (opacity <= 0 || blur <= 0)
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    // Rings growing outwards with falling alpha approximate a Gaussian blur's edge.
    const int steps = std::max(2, qRound(blur));
    const QRectF base = rect.translated(offset);
    for (int i = steps; i >= 1; --i) {
        const qreal grow = blur * i / steps;
        const qreal fade = 1.0 - qreal(i) / (steps + 1);
        painter.setBrush(QColor(0, 0, 0, qBound(0, qRound(255 * opacity * fade * fade / steps * 2.2), 255)));
        const QRectF ring = base.adjusted(-grow / 2, -grow / 2, grow / 2, grow / 2);
        painter.drawRoundedRect(ring, radius + grow / 2, radius + grow / 2);
    }
    painter.restore();
}

QString errorDescription(const ApiError& error)
{
    return QStringLiteral("The operation could not be completed: ") + description(error.reason);
}

QLabel* plainLabel(const QString& text, const QFont& font)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    if (font != QFont())
        label->setFont(font);
    return label;
}

void setForeground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void layOutSheetPage(QWidget* owner, QWidget* closeButton, QWidget* page)
{
    auto* closeRow = new QHBoxLayout;
    closeRow->setContentsMargins(0, 0, 15, 0);
    closeRow->addStretch();
    closeRow->addWidget(closeButton);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(page);
    scroll->viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(closeRow);
    layout->addWidget(scroll, 1);
}

QMessageBox* makeBoardAlert(QWidget* parent, const QString& title, const QString& message)
{
    auto* alert = new QMessageBox(parent);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setTextFormat(Qt::PlainText);
    alert->setText(title);
    alert->setInformativeText(message);
    for (QLabel* label : alert->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    return alert;
}

RoundedSurface::RoundedSurface(QWidget* content, QMargins padding, std::optional<qreal> radius, QWidget* parent)
    : QWidget(parent)
    , m_radius(radius)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding);
    layout->addWidget(content);
}

void RoundedSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cardColor(Plendra::theme(), appearanceOf(palette())));
    const qreal radius = m_radius.value_or(Plendra::config().cornerRadius);
    painter.drawRoundedRect(QRectF(rect()), radius, radius);
}

CentredPage::CentredPage(int maxWidth, QMargins padding, QWidget* parent)
    : QWidget(parent)
    , m_maxWidth(maxWidth)
    , m_padding(padding)
    , m_column(new QVBoxLayout(this))
{
    m_column->setContentsMargins(padding);
    m_column->setSizeConstraint(QLayout::SetNoConstraint);
}

QSize CentredPage::minimumSizeHint() const
{
    return {m_column->minimumSize().width(), 0};
}

void CentredPage::resizeEvent(QResizeEvent* event)
{
    const int room = width() - m_padding.left() - m_padding.right();
    const int side = std::max(0, (room - m_maxWidth) / 2);
    m_column->setContentsMargins(m_padding.left() + side, m_padding.top(), m_padding.right() + side, m_padding.bottom());
    QWidget::resizeEvent(event);
}

void styleTextInput(QWidget* input, Appearance appearance, bool transparent)
{
    const Theme theme = Plendra::theme();
    QPalette palette = input->palette();
    const QColor text = textColor(theme, appearance);
    palette.setColor(QPalette::Base, transparent ? QColor(Qt::transparent) : cardColor(theme, appearance));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::PlaceholderText, withAlpha(text, 0.4));
    input->setPalette(palette);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(input)) {
        area->setFrameShape(QFrame::NoFrame);
        area->viewport()->setAutoFillBackground(!transparent);
    } else if (auto* line = qobject_cast<QLineEdit*>(input)) {
        line->setFrame(false);
    }
}

BoardSheet::BoardSheet(QWidget* parent, QSize minimumSize, int maximumHeight)
    : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setMinimumSize(minimumSize);
    setMaximumHeight(maximumHeight);
    resize(minimumSize.width(), maximumHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void BoardSheet::setContent(QWidget* content)
{
    m_content = content;
    layout()->addWidget(content);
}

void BoardSheet::dismiss()
{
    QDialog::reject();
}

void BoardSheet::reject()
{
    if (m_closeRule)
        m_closeRule();
    else
        dismiss();
}

void BoardSheet::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), boardBackground(Plendra::theme(), appearanceOf(palette())));
}

} // namespace plendra
