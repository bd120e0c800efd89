// Keys, the input method, the mouse, the wheel and links of the terminal view.
#include "terminal/view/TerminalView.h"

#include "terminal/view/KeyMapping.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWheelEvent>

#include <cmath>

namespace terminal {
namespace {

KeyInput keyInput(const QKeyEvent* event)
{
    return {event->key(), event->modifiers(), event->text()};
}

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_CapsLock ||
           key == Qt::Key_NumLock;
}

int buttonNumber(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 0;
    case Qt::MiddleButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::BackButton: return 128;
    case Qt::ForwardButton: return 129;
    default: return -1;
    }
}

} // namespace

// ---- Keys --------------------------------------------------------------------------------

KeyModes TerminalView::keyModes() const
{
    return {terminal_->modes().applicationCursor, terminal_->modes().applicationKeypad, backspaceSendsControlH,
            optionAsMetaKey, terminal_->isCurrentBufferAlternate()};
}

bool TerminalView::event(QEvent* event)
{
    // Keys the terminal takes go to it before the window's shortcuts see them: Ctrl+O, Ctrl+W,
    // Ctrl+R and Ctrl+, reach the shell while the terminal has the focus.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (mapKey(keyInput(key), keyModes()).action != KeyResult::Action::none) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void TerminalView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Control) {
        commandActive_ = true;
        if (const auto payload = payloadAt(mapFromGlobal(QCursor::pos())))
            previewUrl(*payload);
    }
    if (isModifierKey(event->key())) {
        event->accept();
        return;
    }
    handleKey(event);
}

void TerminalView::handleKey(QKeyEvent* event)
{
    const KeyResult result = mapKey(keyInput(event), keyModes());
    using Action = KeyResult::Action;
    if (result.action == Action::none) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (result.action == Action::copy) {
        copy();
        return;
    }
    selectNone();
    switch (result.action) {
    case Action::send: send(result.bytes); break;
    case Action::pageUp: pageUp(); break;
    case Action::pageDown: pageDown(); break;
    case Action::paste: paste(); break;
    case Action::pastePrimary: pastePrimary(); break;
    case Action::copy:
    case Action::none: break;
    }
}

void TerminalView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Control)
        turnOffUrlPreview();
    QWidget::keyReleaseEvent(event);
}

void TerminalView::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    if (!commit.isEmpty()) {
        selectNone();
        send(commit.toStdString());
    }
    if (preedit_ != event->preeditString()) {
        const QRectF row = caretFrame();
        update(QRect(0, static_cast<int>(row.top()), width(), static_cast<int>(std::ceil(row.height())) + 1));
        preedit_ = event->preeditString();
    }
    event->accept();
}

QVariant TerminalView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled: return true;
    case Qt::ImCursorRectangle: return caretFrame().toAlignedRect();
    case Qt::ImFont: return font_;
    case Qt::ImHints: return QVariant(int(Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText | Qt::ImhMultiLine));
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition: return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection: return QString();
    default: return QWidget::inputMethodQuery(query);
    }
}

// ---- Mouse -------------------------------------------------------------------------------

TerminalView::MouseHit TerminalView::calculateMouseHit(QPointF point) const
{
    const int col = static_cast<int>(std::floor(point.x() / cellSize_.width()));
    const int row = static_cast<int>(std::floor(point.y() / cellSize_.height()));
    MouseHit hit;
    hit.pixels = {static_cast<int>(std::clamp<qreal>(point.x(), 0, width())),
                  static_cast<int>(std::clamp<qreal>(point.y(), 0, height()))};
    hit.grid = row < 0 ? Position{0, 0} : Position{std::clamp(col, 0, terminal_->cols() - 1), row};
    return hit;
}

bool TerminalView::mouseReporting(const QMouseEvent* event) const
{
    // Shift keeps the mouse for selecting, whatever the program asked for.
    return allowMouseReporting && terminal_->modes().mouseMode != Terminal::MouseMode::off &&
           !(event->modifiers() & Qt::ShiftModifier);
}

MouseReport TerminalView::makeReport(const QMouseEvent* event, int button, bool release, bool motion) const
{
    const MouseHit hit = calculateMouseHit(event->position());
    MouseReport report;
    report.button = button;
    report.release = release;
    report.motion = motion;
    // X10 reports carry no modifiers.
    if (terminal_->modes().mouseMode != Terminal::MouseMode::x10) {
        report.alt = event->modifiers() & Qt::AltModifier;
        report.control = event->modifiers() & Qt::ControlModifier;
    }
    // Past the edges the report names the nearest cell.
    report.col = hit.grid.col;
    report.row = std::clamp(hit.grid.row, 0, terminal_->rows() - 1);
    report.pixelX = hit.pixels.col;
    report.pixelY = hit.pixels.row;
    return report;
}

void TerminalView::reportMouse(const MouseReport& report)
{
    // The terminal encodes the report in the protocol the program chose and sends it.
    MouseEvent event;
    event.action = report.release  ? MouseEvent::Action::release
                   : report.motion ? MouseEvent::Action::motion
                                   : MouseEvent::Action::press;
    event.button = static_cast<MouseButton>(report.button);
    event.shift = report.shift;
    event.meta = report.alt;
    event.control = report.control;
    event.col = report.col;
    event.row = report.row;
    event.pixelX = report.pixelX;
    event.pixelY = report.pixelY;
    terminal_->sendMouseEvent(event);
}

void TerminalView::reportPointer(const MouseReport& report)
{
    lastReportedCell_ = Position{report.col, report.row};
    reportMouse(report);
}

void TerminalView::mousePressEvent(QMouseEvent* event)
{
    pressHeld_ = true;
    setFocus(Qt::MouseFocusReason);
    const MouseHit hit = calculateMouseHit(event->position());
    const int button = buttonNumber(event->button());
    if (mouseReporting(event)) {
        if (button >= 0) {
            pressedButton_ = button;
            reportPointer(makeReport(event, button, false, false));
        }
        return;
    }
    if (event->button() == Qt::MiddleButton) {
        pastePrimary();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;

    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    clickCount_ = sinceClick_.elapsed() < interval && hit.grid == clickCell_ ? clickCount_ + 1 : 1;
    if (event->type() == QEvent::MouseButtonDblClick)
        clickCount_ = std::max(clickCount_, 2);
    sinceClick_.restart();
    clickCell_ = hit.grid;
    const int yDisp = terminal_->buffer().yDisp();
    const Position cell{hit.grid.col, hit.grid.row + yDisp};
    selecting_ = true;
    didSelectionDrag_ = false;
    if (clickCount_ == 2) {
        selection_->selectWordOrExpression(cell);
        selectionFinished();
    } else if (clickCount_ == 1) {
        if ((event->modifiers() & Qt::ShiftModifier) && selection_->active()) {
            selection_->shiftExtend(hit.grid.row, hit.grid.col);
            selectionFinished();
        } else {
            selectNone();
        }
    } else {
        selection_->selectRow(cell.row);
        selectionFinished();
    }
    update();
}

void TerminalView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Some platforms send the second press as well as the double click: count it once.
    if (!pressHeld_)
        mousePressEvent(event);
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event)
{
    pressHeld_ = false;
    if ((event->modifiers() & Qt::ControlModifier) && !didSelectionDrag_ && delegate_) {
        if (const auto payload = payloadAt(event->position()))
            if (const auto link = parseLinkPayload(*payload))
                delegate_->requestOpenLink(*this, link->address, link->params);
    }
    if (mouseReporting(event) && terminal_->modes().mouseMode != Terminal::MouseMode::off) {
        const int button = buttonNumber(event->button());
        // X10 reports presses only.
        if (button >= 0 && terminal_->modes().mouseMode != Terminal::MouseMode::x10)
            reportPointer(makeReport(event, button, true, false));
        pressedButton_ = -1;
        return;
    }
    pressedButton_ = -1;
    if (selecting_ && event->button() == Qt::LeftButton) {
        selecting_ = false;
        if (didSelectionDrag_)
            selectionFinished();
        didSelectionDrag_ = false;
    }
}

void TerminalView::mouseMoveEvent(QMouseEvent* event)
{
    if (commandActive_) {
        if (const auto payload = payloadAt(event->position()))
            previewUrl(*payload);
    }
    const Terminal::MouseMode mode = terminal_->modes().mouseMode;
    if (mouseReporting(event)) {
        const MouseReport probe = makeReport(event, 0, false, true);
        // Motion is reported once per cell, not per pixel.
        if (lastReportedCell_ && *lastReportedCell_ == Position{probe.col, probe.row})
            return;
        const bool held = pressedButton_ >= 0 && event->buttons() != Qt::NoButton;
        if (held && (mode == Terminal::MouseMode::buttonEventTracking || mode == Terminal::MouseMode::anyEvent))
            reportPointer(makeReport(event, pressedButton_, false, true));
        else if (!held && mode == Terminal::MouseMode::anyEvent)
            reportPointer(makeReport(event, 3, false, true));
        return;
    }
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    const MouseHit hit = calculateMouseHit(event->position());
    const int rows = terminal_->rows();
    Position cell{hit.grid.col, std::min(hit.grid.row, rows - 1) + terminal_->buffer().yDisp()};
    if (hit.grid.row >= rows)
        cell.col = terminal_->cols();
    if (!didSelectionDrag_ && hit.grid == clickCell_ && clickCount_ == 1)
        return;
    if (!selection_->active())
        selection_->startSelection(clickCell_.row, clickCell_.col);
    selection_->dragExtend(cell);
    didSelectionDrag_ = true;
    update();
}

void TerminalView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const qreal cellHeight = cellSize_.height();
    int steps = 0;
    if (!event->pixelDelta().isNull()) {
        // Touchpads move by pixels: a row of text for each cell height gathered.
        wheelPixels_ += event->pixelDelta().y();
        steps = static_cast<int>(wheelPixels_ / cellHeight);
        wheelPixels_ -= steps * cellHeight;
    } else {
        wheelAngle_ += event->angleDelta().y();
        steps = static_cast<int>(wheelAngle_ / 120);
        wheelAngle_ -= steps * 120;
    }
    if (steps == 0)
        return;
    const auto mode = terminal_->modes().mouseMode;
    const bool reporting = allowMouseReporting && mode != Terminal::MouseMode::off &&
                           !(event->modifiers() & Qt::ShiftModifier);
    if (reporting) {
        const MouseHit hit = calculateMouseHit(event->position());
        MouseReport report;
        report.button = steps > 0 ? 64 : 65;
        if (mode != Terminal::MouseMode::x10) {
            report.alt = event->modifiers() & Qt::AltModifier;
            report.control = event->modifiers() & Qt::ControlModifier;
        }
        report.col = hit.grid.col;
        report.row = std::clamp(hit.grid.row, 0, terminal_->rows() - 1);
        report.pixelX = hit.pixels.col;
        report.pixelY = hit.pixels.row;
        for (int i = 0; i < std::abs(steps); ++i)
            reportMouse(report);
        return;
    }
    const int lines = event->pixelDelta().isNull() ? std::abs(steps) * QApplication::wheelScrollLines() : std::abs(steps);
    if (steps > 0)
        scrollUp(lines);
    else
        scrollDown(lines);
}

void TerminalView::leaveEvent(QEvent* event)
{
    if (commandActive_)
        turnOffUrlPreview();
    QWidget::leaveEvent(event);
}

void TerminalView::contextMenuEvent(QContextMenuEvent* event)
{
    if (allowMouseReporting && terminal_->modes().mouseMode != Terminal::MouseMode::off &&
        !(event->modifiers() & Qt::ShiftModifier))
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copyAction = menu->addAction(tr("Copy"), this, &TerminalView::copy);
    copyAction->setEnabled(selection_->active() && selection_->hasSelectionRange());
    menu->addAction(tr("Paste"), this, &TerminalView::paste);
    menu->addSeparator();
    menu->addAction(tr("Select All"), this, &TerminalView::selectAll);
    menu->popup(event->globalPos());
    event->accept();
}

// ---- Links -------------------------------------------------------------------------------

std::optional<std::string> TerminalView::payloadAt(QPointF point) const
{
    const MouseHit hit = calculateMouseHit(point);
    const Buffer& buffer = terminal_->buffer();
    const int row = hit.grid.row + buffer.yDisp();
    if (row < 0 || row >= buffer.lines().count() || hit.grid.row >= terminal_->rows())
        return std::nullopt;
    const BufferLine& line = buffer.lines()[row];
    int col = hit.grid.col;
    if (col > 0 && col < line.count() && line[col].isSpacer())
        --col;
    if (col >= line.count() || !line[col].hasPayload())
        return std::nullopt;
    return std::string(terminal_->tables().payload(line[col].payload));
}

void TerminalView::previewUrl(const std::string& payload)
{
    const auto link = parseLinkPayload(payload);
    if (!link || link->address.isEmpty())
        return;
    if (!urlPreview_) {
        urlPreview_ = new QLabel(this);
        urlPreview_->setTextFormat(Qt::PlainText);
        urlPreview_->setAutoFillBackground(true);
        urlPreview_->setMargin(2);
        QFont font = this->font();
        font.setPixelSize(12);
        urlPreview_->setFont(font);
        QPalette colors = urlPreview_->palette();
        colors.setColor(QPalette::Window, nativeFg_);
        colors.setColor(QPalette::WindowText, nativeBg_);
        urlPreview_->setPalette(colors);
    }
    urlPreview_->setText(link->address);
    urlPreview_->adjustSize();
    urlPreview_->move(0, height() - urlPreview_->height());
    urlPreview_->show();
}

void TerminalView::turnOffUrlPreview()
{
    if (urlPreview_) {
        urlPreview_->deleteLater();
        urlPreview_ = nullptr;
    }
    commandActive_ = false;
}

} // namespace terminal
