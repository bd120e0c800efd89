#include "terminal/view/TerminalView.h"

#include "CellPainter.h"
#include "terminal/Hyperlink.h"
#include "terminal/Log.h"
#include "terminal/view/CaretView.h"
#include "terminal/view/TerminalDebugView.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QImageReader>
#include <QBuffer>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace terminal {

// ---- Free functions ----------------------------------------------------------------------

void TerminalViewDelegate::requestOpenLink(TerminalView&, const QString& link, const std::map<QString, QString>&)
{
    if (const auto url = linkToOpen(link))
        QDesktopServices::openUrl(*url);
}

void TerminalViewDelegate::bell(TerminalView&)
{
    QApplication::beep();
}

std::optional<LinkPayload> parseLinkPayload(std::string_view payload)
{
    if (payload.find(';') == std::string_view::npos)
        return std::nullopt;
    // The address is everything after the parameters: a URL may hold semicolons of its own.
    const Hyperlink hyperlink = Hyperlink::fromPayload(payload);
    LinkPayload link;
    link.address = QString::fromStdString(hyperlink.uri);
    const QString text = QString::fromStdString(hyperlink.params);
    for (const QString& piece : text.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QStringList parts = piece.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (parts.size() == 2)
            link.params[parts[0]] = parts[1];
    }
    return link;
}

std::optional<QUrl> linkToOpen(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https" && scheme != u"mailto" && scheme != u"file")
        return std::nullopt;
    if ((scheme == u"http" || scheme == u"https") && url.host().isEmpty())
        return std::nullopt;
    return url;
}

int MouseReport::buttonFlags() const
{
    int flags = release ? 3 : button;
    if (shift)
        flags |= 4;
    if (alt)
        flags |= 8;
    if (control)
        flags |= 16;
    if (motion)
        flags |= 32;
    return flags;
}

ImageStrip::ImageStrip(QImage image_, int col_, std::uint64_t serial_, std::shared_ptr<std::size_t> budget)
    : image(std::move(image_))
    , col(col_)
    , serial(serial_)
    , budget_(std::move(budget))
{
    *budget_ += static_cast<std::size_t>(image.sizeInBytes());
}

ImageStrip::~ImageStrip()
{
    *budget_ -= static_cast<std::size_t>(image.sizeInBytes());
}

// ---- Set-up ------------------------------------------------------------------------------

TerminalView::TerminalView(QWidget* parent, const std::optional<QFont>& font)
    : QWidget(parent)
    , painter_(std::make_unique<CellPainter>())
    , scroller_(new QScrollBar(Qt::Vertical, this))
    , flushTimer_(new QTimer(this))
    , font_(font.value_or(QFontDatabase::systemFont(QFontDatabase::FixedFont)))
    , imageBytes_(std::make_shared<std::size_t>(0))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::IBeamCursor);

    flushTimer_->setSingleShot(true);
    flushTimer_->setTimerType(Qt::PreciseTimer);
    connect(flushTimer_, &QTimer::timeout, this, &TerminalView::flushDirtyRows);
    sinceFlush_.start();
    sinceBell_.start();
    sinceClick_.start();

    scroller_->setCursor(Qt::ArrowCursor);
    scroller_->setEnabled(false);
    connect(scroller_, &QScrollBar::actionTriggered, this, [this] { scrollTo(scroller_->sliderPosition()); });
    connect(scroller_, &QScrollBar::sliderMoved, this, [this](int position) { scrollTo(position); });

    selectionColor_ = palette().color(QPalette::Highlight);
    setupOptions();
}

TerminalView::~TerminalView()
{
    // The strips refer to the budget counter; the terminal (and its rows) go first.
    selection_.reset();
    terminal_.reset();
}

void TerminalView::setupOptions()
{
    painter_->setFont(font_);
    cellSize_ = painter_->cellSize();
    const int width = this->width() - scroller_->sizeHint().width();
    TerminalOptions options = TerminalOptions::defaultOptions();
    options.cols = static_cast<int>(width / cellSize_.width());
    options.rows = static_cast<int>(height() / cellSize_.height());
    options = options.clamped();
    terminal_ = std::make_unique<Terminal>(this, options);
    terminal_->setBackgroundColor(defaultBackgroundColor());
    terminal_->setForegroundColor(defaultForegroundColor());
    selection_ = std::make_unique<SelectionService>(*terminal_);
    caret_ = std::make_unique<CaretView>(options.cursorStyle, [this] {
        if (terminal_)
            update(caretFrame().toAlignedRect());
    });
    caret_->defaultCaretColor = palette().color(QPalette::Highlight);
    caret_->caretColor = caret_->defaultCaretColor;
    caret_->applyStyle();
    markAllDirty();
}

QFont TerminalView::terminalFont() const
{
    return font_;
}

void TerminalView::setTerminalFont(const QFont& font)
{
    font_ = font;
    painter_->setFont(font_);
    cellSize_ = painter_->cellSize();
    processSizeChange(size());
    caret_->applyStyle();
    selectNone();
    markAllDirty();
}

QSize TerminalView::getOptimalFrameSize() const
{
    return QSize(static_cast<int>(std::ceil(cellSize_.width() * terminal_->cols())) + scroller_->sizeHint().width(),
                 static_cast<int>(std::ceil(cellSize_.height() * terminal_->rows())));
}

void TerminalView::resize(int cols, int rows)
{
    terminal_->resize(cols, rows);
    if (delegate_)
        delegate_->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
    markAllDirty();
}

bool TerminalView::processSizeChange(QSize size)
{
    const int cols = static_cast<int>((size.width() - scroller_->sizeHint().width()) / cellSize_.width());
    const int rows = static_cast<int>(size.height() / cellSize_.height());
    // A collapsed or hidden view keeps the program's last size.
    if (cols < limits::minCols || rows < limits::minRows)
        return false;
    if (cols == terminal_->cols() && rows == terminal_->rows())
        return false;
    selection_->setActive(false);
    terminal_->resize(cols, rows);
    if (delegate_)
        delegate_->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
    markAllDirty();
    return true;
}

void TerminalView::resizeEvent(QResizeEvent*)
{
    layoutScroller();
    processSizeChange(size());
    placeCaret();
    markAllDirty();
}

void TerminalView::layoutScroller()
{
    const int width = scroller_->sizeHint().width();
    scroller_->setGeometry(this->width() - width, 0, width, height());
}

// ---- Colours -----------------------------------------------------------------------------

namespace {

QColor toQColor(Color c)
{
    return QColor::fromRgba64(c.red, c.green, c.blue);
}

Color toColor(const QColor& c)
{
    const QRgba64 rgb = c.toRgb().rgba64();
    return Color{rgb.red(), rgb.green(), rgb.blue()};
}

} // namespace

void TerminalView::setNativeForegroundColor(const QColor& color)
{
    if (settingFg_)
        return;
    settingFg_ = true;
    nativeFg_ = color;
    terminal_->setForegroundColor(toColor(color));
    settingFg_ = false;
    invalidateColors();
}

void TerminalView::setNativeBackgroundColor(const QColor& color)
{
    if (settingBg_)
        return;
    settingBg_ = true;
    nativeBg_ = color;
    terminal_->setBackgroundColor(toColor(color));
    settingBg_ = false;
    invalidateColors();
}

void TerminalView::configureNativeColors()
{
    setNativeForegroundColor(palette().color(QPalette::Text));
    setNativeBackgroundColor(palette().color(QPalette::Base));
}

void TerminalView::setForegroundColor(Terminal&, Color color)
{
    setNativeForegroundColor(toQColor(color));
    invalidateColors();
}

void TerminalView::setBackgroundColor(Terminal&, Color color)
{
    setNativeBackgroundColor(toQColor(color));
    invalidateColors();
}

void TerminalView::colorChanged(Terminal&, std::optional<int>)
{
    invalidateColors();
}

void TerminalView::installColors(const std::vector<Color>& colors)
{
    terminal_->installPalette(colors);
    invalidateColors();
}

void TerminalView::invalidateColors()
{
    painter_->invalidateColors();
    markAllDirty();
}

QColor TerminalView::caretColor() const
{
    return caret_->caretColor;
}

void TerminalView::setCaretColor(const QColor& color)
{
    caret_->caretColor = color;
    update(caretFrame().toAlignedRect());
}

std::optional<QColor> TerminalView::caretTextColor() const
{
    return caret_->caretTextColor;
}

void TerminalView::setCaretTextColor(const std::optional<QColor>& color)
{
    caret_->caretTextColor = color;
    update(caretFrame().toAlignedRect());
}

void TerminalView::setSelectedTextBackgroundColor(const QColor& color)
{
    selectionColor_ = color;
    markAllDirty();
}

void TerminalView::setUseBrightColors(bool on)
{
    useBrightColors_ = on;
    invalidateColors();
}

// ---- Data in and out ---------------------------------------------------------------------

void TerminalView::feed(std::span<const std::uint8_t> bytes)
{
    if (!preserveSelectionOnOutput)
        selection_->setActive(false);
    terminal_->feed(bytes);
    scheduleDisplayFlush();
}

void TerminalView::feed(std::string_view text)
{
    feed(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void TerminalView::send(std::span<const std::uint8_t> data)
{
    ensureCaretIsVisible();
    if (delegate_)
        delegate_->send(*this, data);
}

void TerminalView::send(std::string_view text)
{
    send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// ---- Engine callbacks --------------------------------------------------------------------

void TerminalView::send(Terminal&, std::span<const std::uint8_t> data)
{
    if (delegate_)
        delegate_->send(*this, data);
}

void TerminalView::showCursor(Terminal&)
{
    update(caretFrame().toAlignedRect());
}

void TerminalView::hideCursor(Terminal&)
{
    update(caretFrame().toAlignedRect());
}

void TerminalView::hostCurrentDirectoryUpdated(Terminal& source)
{
    if (!delegate_)
        return;
    const auto& directory = source.hostCurrentDirectory();
    delegate_->hostCurrentDirectoryUpdate(*this, directory ? std::optional(QString::fromStdString(*directory))
                                                           : std::nullopt);
}

void TerminalView::setTerminalTitle(Terminal&, const std::string& title)
{
    if (delegate_)
        delegate_->setTerminalTitle(*this, QString::fromStdString(title));
}

void TerminalView::sizeChanged(Terminal&)
{
    if (delegate_)
        delegate_->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
}

void TerminalView::scrolled(Terminal&, int)
{
    // Output scrolls a line at a time; the scroll bar follows once per paint.
    scrollerDirty_ = true;
}

void TerminalView::linefeed(Terminal&)
{
    if (!preserveSelectionOnOutput && selection_->active())
        selectNone();
}

void TerminalView::bufferActivated(Terminal&)
{
    updateScroller();
    markAllDirty();
}

void TerminalView::bell(Terminal&)
{
    // A program that rings in a loop is heard a few times a second, not thousands.
    if (sinceBell_.elapsed() < 200)
        return;
    sinceBell_.restart();
    if (delegate_)
        delegate_->bell(*this);
}

void TerminalView::selectionChanged(Terminal&)
{
    update();
}

void TerminalView::mouseModeChanged(Terminal&)
{
    lastReportedCell_.reset();
    pressedButton_ = -1;
}

void TerminalView::cursorStyleChanged(Terminal&, CursorStyle style)
{
    caret_->setStyle(style);
}

void TerminalView::iTermContent(Terminal&, std::span<const std::uint8_t> content)
{
    if (delegate_)
        delegate_->iTermContent(*this, content);
}

// ---- Display -----------------------------------------------------------------------------

void TerminalView::markAllDirty()
{
    fullRepaint_ = true;
    scheduleDisplayFlush();
}

void TerminalView::scheduleDisplayFlush()
{
    if (flushPending_)
        return;
    flushPending_ = true;
    // After a quiet spell the change shows on the next pass of the event loop; only output
    // that keeps coming is held to one paint a frame.
    const auto elapsed = std::chrono::nanoseconds(sinceFlush_.nsecsElapsed());
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(flushInterval - elapsed);
    flushTimer_->start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

TerminalDebugView* TerminalView::debug() const
{
    return debug_;
}

void TerminalView::setDebug(TerminalDebugView* debug)
{
    debug_ = debug;
}

void TerminalView::flushDirtyRows()
{
    flushTimer_->stop();
    flushPending_ = false;
    sinceFlush_.restart();
    if (debug_)
        debug_->update();
    if (scrollerDirty_)
        updateScroller();
    placeCaret();

    const auto range = terminal_->getUpdateRange();
    const int yDisp = terminal_->buffer().yDisp();
    if (yDisp != paintedYDisp_) {
        paintedYDisp_ = yDisp;
        fullRepaint_ = true;
    }
    if (notifyUpdateChanges && delegate_) {
        if (range)
            delegate_->rangeChanged(*this, range->first, range->second);
        else
            delegate_->rangeChanged(*this, yDisp + terminal_->buffer().y(), yDisp + terminal_->buffer().y());
    }
    terminal_->clearUpdateRange();
    if (fullRepaint_) {
        fullRepaint_ = false;
        update();
        return;
    }
    if (!range)
        return;
    const qreal ch = cellSize_.height();
    const int top = static_cast<int>(std::floor(range->first * ch));
    int bottom = static_cast<int>(std::ceil((range->second + 1) * ch));
    // The last row's paint reaches the strip below it.
    if (range->second + 1 >= terminal_->rows())
        bottom = height();
    update(QRect(0, top, width(), bottom - top));
}

void TerminalView::placeCaret()
{
    // The caret is drawn where the cursor is at paint time: its old and its new cell repaint.
    const QRect caret = caretFrame().toAlignedRect().adjusted(-1, -1, 1, 1);
    update(placedCaret_);
    update(caret);
    placedCaret_ = caret;
}

QRectF TerminalView::caretFrame() const
{
    if (!terminal_)
        return {};
    const Buffer& buffer = terminal_->buffer();
    const int row = buffer.yBase() + buffer.y() - buffer.yDisp();
    const int cursorRow = buffer.yBase() + buffer.y();
    const bool doubled = cursorRow < buffer.lines().count() &&
                         buffer.lines()[cursorRow].renderMode != BufferLine::RenderLineMode::single;
    const int col = std::min(buffer.x(), terminal_->cols() - 1) + static_cast<int>(preedit_.size());
    const qreal x = col * cellSize_.width() * (doubled ? 2 : 1);
    return QRectF(x, row * cellSize_.height(), cellSize_.width(), cellSize_.height());
}

bool TerminalView::hasFocusForCaret() const
{
    return hasFocus_ && (!window() || window()->isActiveWindow());
}

void TerminalView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const bool reverse = terminal_->modes().reverseVideo;
    CellPainter::Frame frame;
    frame.terminal = terminal_.get();
    frame.selection = selection_.get();
    frame.foreground = reverse ? nativeBg_ : nativeFg_;
    frame.background = reverse ? nativeFg_ : nativeBg_;
    frame.selectionBackground = selectionColor_;
    frame.useBrightColors = useBrightColors_;
    frame.width = width() - scroller_->width();
    const QRect dirty = event->rect() & QRect(0, 0, frame.width, height());
    painter_->paint(painter, dirty, frame);
    if (painter_->chainsPending())
        markAllDirty();

    const Buffer& buffer = terminal_->buffer();
    const int cursorRow = buffer.yBase() + buffer.y();
    const bool cursorShown = cursorRow >= buffer.yDisp() && cursorRow < buffer.yDisp() + terminal_->rows();
    const QRectF caret = caretFrame();
    if (!preedit_.isEmpty() && cursorShown) {
        // The composition stands at the cursor, underlined, over the cells it covers.
        const qreal x = std::min(buffer.x(), terminal_->cols() - 1) * cellSize_.width();
        const QRectF area(x, caret.top(), preedit_.size() * cellSize_.width(), cellSize_.height());
        painter.fillRect(area, frame.background);
        painter.setFont(painter_->face(0));
        painter.setPen(frame.foreground);
        painter.drawText(QPointF(area.left(), area.top() + painter_->baseline()), preedit_);
        painter.drawLine(QLineF(area.left(), area.bottom() - 1, area.right(), area.bottom() - 1));
    }
    if (cursorShown && !terminal_->modes().cursorHidden && caret.intersects(dirty)) {
        const CharData& cell = buffer.lines()[cursorRow][std::min(buffer.x(), terminal_->cols() - 1)];
        caret_->paint(painter, caret, hasFocusForCaret(), [&](QPainter& p, QColor color) {
            if (preedit_.isEmpty())
                painter_->drawCell(p, caret.topLeft(), terminal_->tables(), cell,
                                   color.isValid() ? color : frame.foreground);
        });
    }
    ++paintCount_;
}

// ---- Focus -------------------------------------------------------------------------------

void TerminalView::focusInEvent(QFocusEvent* event)
{
    hasFocus_ = true;
    caret_->applyStyle();
    QWidget::focusInEvent(event);
}

void TerminalView::focusOutEvent(QFocusEvent* event)
{
    hasFocus_ = false;
    caret_->setBlinking(false);
    turnOffUrlPreview();
    QWidget::focusOutEvent(event);
}

bool TerminalView::focusNextPrevChild(bool)
{
    // Tab belongs to the shell.
    return false;
}

void TerminalView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow() && hasFocus_)
            caret_->applyStyle();
        else
            caret_->setBlinking(false);
    }
    QWidget::changeEvent(event);
}

// ---- Selection, copy and paste -----------------------------------------------------------

std::optional<std::string> TerminalView::getSelection() const
{
    if (!selection_->active())
        return std::nullopt;
    return selection_->getSelectedText();
}

void TerminalView::selectAll()
{
    selection_->selectAll();
    selectionFinished();
}

void TerminalView::selectNone()
{
    if (selection_->active()) {
        selection_->setActive(false);
        update();
    }
}

void TerminalView::selectionFinished()
{
    if (!selection_->active() || !selection_->hasSelectionRange())
        return;
    if (QClipboard* clipboard = QGuiApplication::clipboard(); clipboard->supportsSelection())
        clipboard->setText(QString::fromStdString(selection_->getSelectedText()), QClipboard::Selection);
    emit selectionMade();
}

void TerminalView::copy()
{
    if (const auto text = getSelection(); text && !text->empty())
        QGuiApplication::clipboard()->setText(QString::fromStdString(*text));
}

void TerminalView::paste()
{
    pasteText(QGuiApplication::clipboard()->text());
}

void TerminalView::pastePrimary()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    pasteText(clipboard->text(clipboard->supportsSelection() ? QClipboard::Selection : QClipboard::Clipboard));
}

void TerminalView::pasteText(const QString& text)
{
    if (text.isEmpty())
        return;
    std::string bytes = text.toStdString();
    // Typed Enter is a carriage return; a pasted line break is sent the same way.
    std::string converted;
    converted.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        converted += bytes[i] == '\n' ? '\r' : bytes[i];
    }
    if (terminal_->modes().bracketedPasteMode) {
        // Text cannot end the paste early: every end marker goes, also one that only forms
        // once another is taken out.
        static constexpr std::string_view endMarker = "\x1b[201~";
        for (auto at = converted.find(endMarker); at != std::string::npos; at = converted.find(endMarker))
            converted.erase(at, endMarker.size());
        converted = "\x1b[200~" + converted + std::string(endMarker);
    }
    ensureCaretIsVisible();
    if (delegate_)
        delegate_->paste(*this, std::span(reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size()));
}

// ---- Scroll-back -------------------------------------------------------------------------

bool TerminalView::canScroll() const
{
    const Buffer& buffer = terminal_->buffer();
    if (terminal_->isCurrentBufferAlternate() || !buffer.hasScrollback())
        return false;
    return terminal_->rows() < buffer.lines().count();
}

double TerminalView::scrollPosition() const
{
    const Buffer& buffer = terminal_->buffer();
    if (terminal_->isCurrentBufferAlternate() || buffer.yDisp() <= 0)
        return 0;
    const int maxScroll = buffer.lines().count() - terminal_->rows();
    return buffer.yDisp() < maxScroll ? double(buffer.yDisp()) / maxScroll : 1;
}

double TerminalView::scrollThumbsize() const
{
    if (terminal_->isCurrentBufferAlternate())
        return 0;
    return std::max(0.01, double(terminal_->rows()) / std::max(1, terminal_->buffer().lines().count()));
}

void TerminalView::scrollTo(int row)
{
    Buffer& buffer = terminal_->buffer();
    row = std::clamp(row, 0, std::max(0, buffer.yBase()));
    if (row == buffer.yDisp())
        return;
    buffer.setYDisp(row);
    // Output keeps a scrolled-back view where it is; at the bottom it follows again.
    terminal_->setUserScrolling(buffer.yDisp() != buffer.yBase());
    if (delegate_)
        delegate_->scrolled(*this, scrollPosition());
    updateScroller();
    markAllDirty();
    flushDirtyRows();
}

void TerminalView::scrollUp(int lines)
{
    scrollTo(std::max(0, terminal_->buffer().yDisp() - lines));
}

void TerminalView::scrollDown(int lines)
{
    const Buffer& buffer = terminal_->buffer();
    scrollTo(std::max(0, std::min(buffer.lines().count() - terminal_->rows(), buffer.yDisp() + lines)));
}

void TerminalView::pageUp()
{
    if (terminal_->isCurrentBufferAlternate())
        send(EscapeSequences::cmdPageUp);
    else
        scrollUp(terminal_->rows());
}

void TerminalView::pageDown()
{
    if (terminal_->isCurrentBufferAlternate())
        send(EscapeSequences::cmdPageDown);
    else
        scrollDown(terminal_->rows());
}

void TerminalView::scroll(double toPosition)
{
    const Buffer& buffer = terminal_->buffer();
    const int maxScroll = std::max(0, buffer.lines().count() - terminal_->rows());
    const int position = std::clamp(static_cast<int>(maxScroll * toPosition), 0, maxScroll);
    scrollTo(position);
}

void TerminalView::ensureCaretIsVisible()
{
    const Buffer& buffer = terminal_->buffer();
    const int cursor = buffer.y() + buffer.yBase();
    if (cursor >= buffer.yDisp() + terminal_->rows() || cursor < buffer.yDisp())
        scrollTo(buffer.yBase());
}

void TerminalView::updateScroller()
{
    scrollerDirty_ = false;
    const Buffer& buffer = terminal_->buffer();
    const QSignalBlocker blocker(scroller_);
    const bool can = canScroll();
    scroller_->setEnabled(can);
    scroller_->setRange(0, can ? std::max(0, buffer.yBase()) : 0);
    scroller_->setPageStep(terminal_->rows());
    scroller_->setValue(buffer.yDisp());
}

// ---- Inline images -----------------------------------------------------------------------

void TerminalView::createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > maxImagePixels ||
        bytes.size() != std::size_t(width) * std::size_t(height) * 4)
        return;
    QImage image(bytes.data(), width, height, width * 4, QImage::Format_RGBA8888);
    const bool wider = width > this->width();
    placeImage(image.copy(), wider ? ImageSizeRequest{ImageSizeRequest::Kind::percent, 100} : ImageSizeRequest{},
               ImageSizeRequest{}, true);
}

void TerminalView::createImage(Terminal&, std::span<const std::uint8_t> data, ImageSizeRequest width,
                               ImageSizeRequest height, bool preserveAspectRatio)
{
    if (data.empty() || data.size() > maxEncodedImageBytes)
        return;
    QByteArray bytes(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QBuffer device(&bytes);
    QImageReader reader(&device);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > maxImagePixels)
        return;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return;
    placeImage(std::move(image), width, height, preserveAspectRatio);
}

void TerminalView::placeImage(QImage image, ImageSizeRequest widthRequest, ImageSizeRequest heightRequest,
                              bool preserveAspectRatio)
{
    using Kind = ImageSizeRequest::Kind;
    const qreal scale = devicePixelRatioF();
    auto target = [&](ImageSizeRequest request, qreal cell, qreal frame, int pixels) -> std::optional<qreal> {
        switch (request.kind) {
        case Kind::cells: return request.value * cell;
        case Kind::pixels: return request.value;
        case Kind::percent: return request.value * 0.01 * frame;
        case Kind::automatic: return std::nullopt;
        }
        return pixels / scale;
    };
    const qreal viewWidth = std::max(1, this->width() - scroller_->width());
    const qreal viewHeight = std::max(1, this->height());
    const auto w = target(widthRequest, cellSize_.width(), viewWidth, image.width());
    const auto h = target(heightRequest, cellSize_.height(), viewHeight, image.height());
    qreal width = w.value_or(image.width() / scale);
    qreal height = h.value_or(image.height() / scale);
    if (preserveAspectRatio) {
        if (h && !w)
            width = image.width() * height / image.height();
        else if (w && !h)
            height = image.height() * width / image.width();
    }
    if (width <= 0 || height <= 0)
        return;
    // Never wider than the view nor taller than four screens.
    const qreal fit = std::min({1.0, viewWidth / std::max<qreal>(width, 1), 4 * viewHeight / std::max<qreal>(height, 1)});
    if (preserveAspectRatio) {
        width *= fit;
        height *= fit;
    } else {
        width = std::min(width, viewWidth);
        height = std::min(height, 4 * viewHeight);
    }
    const int pixelWidth = std::max(1, qRound(width));
    const int pixelHeight = std::max(1, qRound(height));
    QImage scaled = image.scaled(pixelWidth, pixelHeight,
                                 preserveAspectRatio && w && h ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (scaled.size() != QSize(pixelWidth, pixelHeight)) {
        // Fitted inside the box asked for, centred.
        QImage boxed(pixelWidth, pixelHeight, QImage::Format_ARGB32_Premultiplied);
        boxed.fill(Qt::transparent);
        QPainter p(&boxed);
        p.drawImage(QPointF((pixelWidth - scaled.width()) / 2.0, (pixelHeight - scaled.height()) / 2.0), scaled);
        p.end();
        scaled = boxed;
    }

    const int ch = static_cast<int>(cellSize_.height());
    const int strips = (pixelHeight + ch - 1) / ch;
    trimImages(std::size_t(pixelWidth) * std::size_t(strips) * ch * 4);
    Buffer& buffer = terminal_->buffer();
    const int col = buffer.x();
    for (int i = 0; i < strips; ++i) {
        auto strip = std::make_shared<const ImageStrip>(scaled.copy(0, i * ch, pixelWidth, ch), col, nextStrip_++,
                                                        imageBytes_);
        buffer.lines()[buffer.yBase() + buffer.y()].attach(std::move(strip));
        terminal_->updateRange(buffer.y());
        terminal_->lineFeed();
        buffer.setX(col);
    }
    scheduleDisplayFlush();
}

void TerminalView::trimImages(std::size_t incoming)
{
    if (*imageBytes_ + incoming <= imageBudgetBytes)
        return;
    // The oldest strips still on a row make room for new ones. Only the rows know which strips
    // are left (they go with their rows), so the rows are asked, not a list of every strip made.
    std::vector<const ImageStrip*> strips;
    const std::array<Buffer*, 2> buffers{&terminal_->normalBuffer(), &terminal_->altBuffer()};
    for (Buffer* buffer : buffers)
        for (int row = 0; row < buffer->lines().count(); ++row)
            for (const auto& image : buffer->lines()[row].images)
                if (const auto* strip = dynamic_cast<const ImageStrip*>(image.get()))
                    strips.push_back(strip);
    std::sort(strips.begin(), strips.end(), [](const ImageStrip* a, const ImageStrip* b) { return a->serial < b->serial; });
    std::size_t kept = *imageBytes_;
    std::uint64_t oldestKept = 0;
    for (const ImageStrip* strip : strips) {
        if (kept + incoming <= imageBudgetBytes)
            break;
        kept -= static_cast<std::size_t>(strip->image.sizeInBytes());
        oldestKept = strip->serial + 1;
    }
    for (Buffer* buffer : buffers)
        for (int row = 0; row < buffer->lines().count(); ++row)
            std::erase_if(buffer->lines()[row].images, [&](const std::shared_ptr<const TerminalImage>& image) {
                const auto* strip = dynamic_cast<const ImageStrip*>(image.get());
                return strip && strip->serial < oldestKept;
            });
}

} // namespace terminal
