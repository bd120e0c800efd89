#include "terminal/view/TerminalDebugView.h"

#include "terminal/view/TerminalView.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

namespace terminal {
namespace {

QFont debugFont()
{
    for (const char* family : {"Lucida Sans Typewriter", "Courier"}) {
        QFont font(QString::fromLatin1(family), 8);
        if (QFontInfo(font).exactMatch())
            return font;
    }
    // Neither is installed on most Linux systems: the system's fixed font at the same size.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(8);
    return font;
}

QString threeDigits(int value)
{
    return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0'));
}

} // namespace

TerminalDebugView::TerminalDebugView(TerminalView& view)
    : QWidget(&view)
    , terminalView_(view)
    , terminal_(view.terminal())
    , font_(debugFont())
    , dbg_(new QLabel(QStringLiteral("WAITING"), this))
{
    height_ = QFontMetrics(font_).boundingRect(QStringLiteral("W")).height();
    dbg_->setFont(font_);
    dbg_->setGeometry(0, 8, view.width(), 14);
    setGeometry(view.rect());
    terminalView_.setDebug(this);
}

TerminalDebugView::~TerminalDebugView()
{
    if (terminalView_.debug() == this)
        terminalView_.setDebug(nullptr);
}

void TerminalDebugView::update()
{
    dbg_->setText(statusText());
    QWidget::update();
}

QString TerminalDebugView::statusText() const
{
    const Buffer& buffer = terminal_.buffer();
    // The rows are held oldest first from slot 0, so the ring starts at 0.
    return QStringLiteral("x: %1 y: %2 yDisp: %3 yBase: %4 clc: %5 startIndex: 0")
        .arg(buffer.x())
        .arg(buffer.y())
        .arg(buffer.yDisp())
        .arg(buffer.yBase())
        .arg(buffer.lines().count());
}

int TerminalDebugView::slotCount() const
{
    return terminal_.buffer().lines().maxLength();
}

QString TerminalDebugView::slotText(int index) const
{
    const Buffer& buffer = terminal_.buffer();
    const QString marks = QString(index == buffer.yDisp() ? u'D' : u' ') + (index == buffer.yBase() ? u'B' : u' ');
    const QString idx = threeDigits(index);
    QString cells = QStringLiteral("<empty>");
    if (index < buffer.lines().count()) {
        cells.clear();
        const BufferLine& line = buffer.lines()[index];
        for (int col = 0; col < terminal_.cols(); ++col) {
            const std::string text = line.translateToString(terminal_.tables(), false, col, col + 1);
            cells += text.empty() || text == std::string(1, '\0') ? QStringLiteral(" ") : QString::fromStdString(text);
        }
    }
    // The slot as stored, then the same row by its logical index.
    return QStringLiteral("[%1:%2]%3%4[%1]%3%4").arg(idx, idx, marks, cells);
}

void TerminalDebugView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(font_);
    if (height_ <= 0)
        return;
    const QFontMetrics metrics(font_);
    const int first = std::max(0, event->rect().top() / height_);
    const int last = std::min(slotCount() - 1, event->rect().bottom() / height_);
    for (int i = first; i <= last; ++i)
        painter.drawText(0, i * height_ + metrics.ascent(), slotText(i));
}

} // namespace terminal
