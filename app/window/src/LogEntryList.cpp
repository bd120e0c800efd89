#include "window/LogEntryList.h"

#include "RowHeights.h"
#include "core/LogStore.h"
#include "window/SymbolIcons.h"

#include "richtext/gui/QtConversions.h"

#include <QAbstractItemDelegate>
#include <QCache>
#include <QHash>
#include <QStaticText>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <climits>

namespace quillora {
namespace {

// A message longer than this is cut before it is laid out: a row shows at most a screenful.
constexpr qsizetype maxMessageCharacters = 4096;
constexpr int levelWidth = 42;
constexpr int categoryWidth = 120;
constexpr int columnSpacing = 6;
constexpr int insetX = 12;
constexpr int insetY = 2;

QFont logFont()
{
    richtext::FontSpec font;
    font.pixelSize = 11;
    font.weight = 400;
    font.monospaced = true;
    return richtext::toQFont(font);
}

QColor levelColor(LogLevel level, const QPalette& palette)
{
    switch (level) {
    case LogLevel::debug:
        return WindowColors::secondaryText(palette);
    case LogLevel::info:
        return WindowColors::systemBlue(palette);
    case LogLevel::warning:
        return WindowColors::systemOrange(palette);
    case LogLevel::error:
        break;
    }
    return WindowColors::systemRed(palette);
}

// The columns of a row of the given width.
struct RowColumns {
    QRect time;
    QRect level;
    QRect category;
    int messageX = 0;
    int messageWidth = 0;
};

RowColumns columnsFor(const QRect& row, int lineHeight, int timeWidth)
{
    RowColumns columns;
    const int top = row.top() + insetY;
    int x = row.left() + insetX;
    columns.time = QRect(x, top, timeWidth, lineHeight);
    x += timeWidth + columnSpacing;
    columns.level = QRect(x, top, levelWidth, lineHeight);
    x += levelWidth + columnSpacing;
    columns.category = QRect(x, top, categoryWidth, lineHeight);
    x += categoryWidth + columnSpacing;
    columns.messageX = x;
    columns.messageWidth = std::max(40, row.right() + 1 - insetX - x);
    return columns;
}

// The message laid out over at most the row's lines; `elided` holds the text of the last line
// when the message goes on past it.
struct MessageLayout {
    std::unique_ptr<QTextLayout> layout;
    int lines = 0;
    QString elidedLastLine;
};

MessageLayout layOutMessage(const QString& message, const QFont& font, int width)
{
    const bool cut = message.size() > maxMessageCharacters;
    QString text = cut ? message.left(maxMessageCharacters) : message;
    // Line feeds break lines; other control characters show as nothing rather than as boxes.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\r')
            c = QChar::LineSeparator;
    }
    MessageLayout result;
    result.layout = std::make_unique<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    result.layout->setTextOption(option);
    result.layout->setCacheEnabled(true);
    const QFontMetrics metrics(font);
    result.layout->beginLayout();
    int y = 0;
    for (;;) {
        QTextLine line = result.layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += metrics.height();
        ++result.lines;
        if (result.lines == LogEntryListView::maxMessageLines) {
            const qsizetype rest = line.textStart() + line.textLength();
            if (rest < text.size() || cut) {
                QString last = text.mid(line.textStart());
                last.replace(QChar::LineSeparator, u' ');
                result.elidedLastLine = metrics.elidedText(last + QStringLiteral(" \u2026"), Qt::ElideRight, width);
            }
            break;
        }
    }
    result.layout->endLayout();
    return result;
}

} // namespace

// Draws a row from what it keeps of the rows shown last: the message's layout and the texts
// that repeat from row to row (level words, categories), so that rows are laid out once, not
// once for measuring and again on every paint.
class LogEntryDelegate final : public QAbstractItemDelegate {
public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        useFont(option.font);
        const RowColumns columns = columnsFor(option.rect, m_lineHeight, m_timeWidth);
        const MessageLayout& message = messageLayout(index, columns.messageWidth);
        return {option.rect.width(), std::max(1, message.lines) * m_lineHeight + 2 * insetY};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        useFont(option.font);
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        if (selected)
            painter->fillRect(option.rect, palette.color(QPalette::Highlight));
        QColor primary = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        QColor secondary = primary;
        secondary.setAlphaF(0.55);
        const auto level = LogLevel(index.data(LogEntryListModel::LevelRole).toInt());
        const RowColumns columns = columnsFor(option.rect, m_lineHeight, m_timeWidth);

        painter->save();
        painter->setFont(option.font);
        painter->setPen(secondary);
        painter->drawText(columns.time, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          index.data(LogEntryListModel::TimeRole).toString());
        painter->setPen(selected ? primary : levelColor(level, palette));
        painter->drawStaticText(columns.level.topLeft(), m_levelWords[std::size_t(level)]);
        painter->setPen(secondary);
        painter->drawStaticText(columns.category.topLeft(), categoryText(index.data(LogEntryListModel::CategoryRole).toString()));
        painter->setPen(primary);
        const MessageLayout& message = messageLayout(index, columns.messageWidth);
        const QPointF origin(columns.messageX, option.rect.top() + insetY);
        const int fullLines = message.elidedLastLine.isEmpty() ? message.lines : message.lines - 1;
        for (int i = 0; i < fullLines; ++i)
            message.layout->lineAt(i).draw(painter, origin);
        if (!message.elidedLastLine.isEmpty()) {
            const QRect last(columns.messageX, option.rect.top() + insetY + fullLines * m_lineHeight,
                             columns.messageWidth, m_lineHeight);
            painter->drawText(last, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, message.elidedLastLine);
        }
        painter->restore();
    }

    // For rows that are no longer what they were.
    void forgetLayouts() const { m_layouts.clear(); }

private:
    void useFont(const QFont& font) const
    {
        if (font == m_font && m_lineHeight > 0)
            return;
        m_font = font;
        const QFontMetrics metrics(font);
        m_lineHeight = metrics.height();
        m_timeWidth = metrics.horizontalAdvance(QStringLiteral("00:00:00.000"));
        for (LogLevel level : {LogLevel::debug, LogLevel::info, LogLevel::warning, LogLevel::error})
            m_levelWords[std::size_t(level)] = staticText(rawValue(level));
        m_categories.clear();
        m_layouts.clear();
    }

    QStaticText staticText(const QString& text) const
    {
        QStaticText result(text);
        result.setTextFormat(Qt::PlainText);
        result.prepare(QTransform(), m_font);
        return result;
    }

    // A category cut to its column, once per category.
    const QStaticText& categoryText(const QString& category) const
    {
        if (const auto found = m_categories.constFind(category); found != m_categories.cend())
            return *found;
        if (m_categories.size() >= 256)
            m_categories.clear();
        const QString elided = QFontMetrics(m_font).elidedText(category, Qt::ElideRight, categoryWidth);
        return *m_categories.insert(category, staticText(elided));
    }

    const MessageLayout& messageLayout(const QModelIndex& index, int width) const
    {
        if (width != m_layoutWidth) {
            m_layouts.clear();
            m_layoutWidth = width;
        }
        if (const MessageLayout* cached = m_layouts.object(index.row()))
            return *cached;
        auto* layout = new MessageLayout(layOutMessage(index.data(LogEntryListModel::MessageRole).toString(), m_font, width));
        m_layouts.insert(index.row(), layout);
        return *layout;
    }

    mutable QFont m_font;
    mutable int m_lineHeight = 0;
    mutable int m_timeWidth = 0;
    mutable std::array<QStaticText, 4> m_levelWords;
    mutable QHash<QString, QStaticText> m_categories;
    mutable QCache<int, MessageLayout> m_layouts{512};
    mutable int m_layoutWidth = -1;
};

namespace {

QString clockText(const QDateTime& timestamp)
{
    const QTime time = timestamp.toLocalTime().time();
    return QString::asprintf("%02d:%02d:%02d.%03d", time.hour(), time.minute(), time.second(), time.msec());
}

} // namespace

LogEntryListModel::LogEntryListModel(LogStore& store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store)
    , m_rows(int(store.entries().size()))
{
    m_catchUp.setSingleShot(true);
    m_catchUp.setInterval(catchUpMilliseconds);
    connect(&m_catchUp, &QTimer::timeout, this, &LogEntryListModel::catchUp);
    connect(&store, &LogStore::entriesChanged, this, [this] {
        if (!m_catchUp.isActive())
            m_catchUp.start();
    });
}

int LogEntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant LogEntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const LogEntryModel& entry = m_store.entries()[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return LogStore::formatLine(entry);
    case TimeRole:
        return clockText(entry.timestamp);
    case LevelRole:
        return int(entry.level);
    case CategoryRole:
        return entry.category;
    case MessageRole:
        return entry.message;
    default:
        return {};
    }
}

void LogEntryListModel::catchUp()
{
    m_catchUp.stop();
    const int count = int(std::min<qsizetype>(m_store.entries().size(), INT_MAX));
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_rows = count;
        endInsertRows();
    } else if (count < m_rows) {
        beginResetModel();
        m_rows = count;
        endResetModel();
    }
}

LogEntryListView::LogEntryListView(QWidget* parent)
    : QAbstractItemView(parent)
    , m_heights(std::make_unique<RowHeights>())
    , m_delegate(new LogEntryDelegate(this))
{
    setFont(logFont());
    setItemDelegate(m_delegate);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setAutoScroll(true);
}

LogEntryListView::~LogEntryListView() = default;

void LogEntryListView::setModel(QAbstractItemModel* model)
{
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QAbstractItemView::setModel(model);
    if (model) {
        // Anything but rows appended at the end is rare here: measure again from scratch.
        const auto remeasure = [this] {
            rebuildHeights();
            updateGeometries();
            viewport()->update();
        };
        connect(model, &QAbstractItemModel::rowsRemoved, this, remeasure);
        connect(model, &QAbstractItemModel::rowsMoved, this, remeasure);
        connect(model, &QAbstractItemModel::layoutChanged, this, remeasure);
    }
    rebuildHeights();
    updateGeometries();
}

int LogEntryListView::estimatedHeight() const
{
    return fontMetrics().height() + 2 * insetY;
}

void LogEntryListView::rebuildHeights()
{
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    m_heights->reset(rows, estimatedHeight());
    m_delegate->forgetLayouts();
    m_measured.assign(std::size_t(rows), false);
    m_measuredWidth = viewport()->width();
}

int LogEntryListView::rowHeight(int row) const
{
    return m_heights->height(row);
}

void LogEntryListView::measureDown(int firstRow)
{
    const int rows = m_heights->size();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    int covered = 0;
    for (int row = std::max(0, firstRow); row < rows && covered < viewport()->height(); ++row) {
        if (!m_measured[std::size_t(row)]) {
            m_heights->set(row, itemDelegate()->sizeHint(option, model()->index(row, 0, rootIndex())).height());
            m_measured[std::size_t(row)] = true;
        }
        covered += rowHeight(row);
    }
}

void LogEntryListView::measureUp(int lastRow)
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    int covered = 0;
    for (int row = std::min(lastRow, m_heights->size() - 1); row >= 0 && covered < viewport()->height(); --row) {
        if (!m_measured[std::size_t(row)]) {
            m_heights->set(row, itemDelegate()->sizeHint(option, model()->index(row, 0, rootIndex())).height());
            m_measured[std::size_t(row)] = true;
        }
        covered += rowHeight(row);
    }
}

void LogEntryListView::updateGeometries()
{
    const qint64 total = m_heights->total();
    const int maximum = int(std::clamp<qint64>(total - viewport()->height(), 0, INT_MAX));
    verticalScrollBar()->setSingleStep(estimatedHeight());
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(0, maximum);
    QAbstractItemView::updateGeometries();
}

int LogEntryListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

void LogEntryListView::scrollContentsBy(int, int)
{
    viewport()->update();
}

QRect LogEntryListView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= m_heights->size())
        return {};
    const qint64 top = m_heights->offset(index.row()) - verticalOffset();
    return {0, int(std::clamp<qint64>(top, INT_MIN / 2, INT_MAX / 2)), viewport()->width(), rowHeight(index.row())};
}

QModelIndex LogEntryListView::indexAt(const QPoint& point) const
{
    const qint64 y = qint64(point.y()) + verticalOffset();
    if (!model() || point.y() < 0 || y >= m_heights->total() || point.x() < 0 || point.x() >= viewport()->width())
        return {};
    return model()->index(m_heights->rowAt(y), 0, rootIndex());
}

void LogEntryListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.row() >= m_heights->size())
        return;
    const int row = index.row();
    const int page = viewport()->height();
    // Rows above the target up to a page settle their heights first, so it lands where asked.
    measureUp(row);
    measureDown(row);
    updateGeometries();
    const qint64 top = m_heights->offset(row);
    const qint64 bottom = top + rowHeight(row);
    const qint64 value = verticalOffset();
    qint64 target = value;
    switch (hint) {
    case PositionAtTop:
        target = top;
        break;
    case PositionAtBottom:
        target = bottom - page;
        break;
    case PositionAtCenter:
        target = top - (page - rowHeight(row)) / 2;
        break;
    case EnsureVisible:
        if (top < value)
            target = top;
        else if (bottom > value + page)
            target = std::min(top, bottom - page);
        break;
    }
    verticalScrollBar()->setValue(int(std::clamp<qint64>(target, 0, verticalScrollBar()->maximum())));
}

void LogEntryListView::scrollToLastRow()
{
    if (m_heights->size() == 0)
        return;
    measureUp(m_heights->size() - 1);
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QModelIndex LogEntryListView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int rows = m_heights->size();
    if (rows == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    int target = row;
    const qint64 page = viewport()->height();
    switch (action) {
    case MoveUp:
    case MovePrevious:
        target = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        target = row + 1;
        break;
    case MovePageUp:
        target = row < 0 ? 0 : m_heights->rowAt(m_heights->offset(row) - page);
        break;
    case MovePageDown:
        target = row < 0 ? 0 : m_heights->rowAt(m_heights->offset(row) + page);
        break;
    case MoveHome:
        target = 0;
        break;
    case MoveEnd:
        target = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        return current;
    }
    return model()->index(std::clamp(target, 0, rows - 1), 0, rootIndex());
}

void LogEntryListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags)
{
    if (!selectionModel())
        return;
    const QRect area = rect.normalized();
    const qint64 value = verticalOffset();
    if (m_heights->size() == 0 || area.top() + value >= m_heights->total()) {
        selectionModel()->select(QItemSelection(), flags);
        return;
    }
    const int first = m_heights->rowAt(area.top() + value);
    const int last = m_heights->rowAt(area.bottom() + value);
    const QItemSelection selection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex()));
    selectionModel()->select(selection, flags);
}

QRegion LogEntryListView::visualRegionForSelection(const QItemSelection& selection) const
{
    if (m_heights->size() == 0)
        return {};
    // Only the rows on screen matter; a range of thousands costs one rectangle.
    const qint64 value = verticalOffset();
    const int firstShown = m_heights->rowAt(value);
    const int lastShown = m_heights->rowAt(value + viewport()->height());
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        const int first = std::max(range.top(), firstShown);
        const int last = std::min(range.bottom(), lastShown);
        if (first > last)
            continue;
        const QRect top = visualRect(model()->index(first, 0, rootIndex()));
        const QRect bottom = visualRect(model()->index(last, 0, rootIndex()));
        region += top.united(bottom);
    }
    return region;
}

void LogEntryListView::paintEvent(QPaintEvent* event)
{
    const int rows = m_heights->size();
    if (rows == 0)
        return;
    const qint64 value = verticalOffset();
    const int first = m_heights->rowAt(value);
    const qint64 before = m_heights->total();
    measureDown(first);
    if (m_heights->total() != before)
        updateGeometries();

    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect exposed = event->rect();
    const QItemSelectionModel* selection = selectionModel();
    const QModelIndex current = currentIndex();
    for (int row = first; row < rows; ++row) {
        const QRect rect = visualRect(model()->index(row, 0, rootIndex()));
        if (rect.top() > exposed.bottom())
            break;
        if (rect.bottom() < exposed.top())
            continue;
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = rect;
        option.state = QStyle::State_Enabled;
        if (selection && selection->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        if (!isActiveWindow())
            option.palette.setCurrentColorGroup(QPalette::Inactive);
        itemDelegate()->paint(&painter, option, index);
    }
}

void LogEntryListView::resizeEvent(QResizeEvent* event)
{
    const bool following = m_heights->size() > 0 && verticalOffset() >= verticalScrollBar()->maximum();
    const int topRow = m_heights->size() > 0 ? m_heights->rowAt(verticalOffset()) : 0;
    QAbstractItemView::resizeEvent(event);
    if (viewport()->width() != m_measuredWidth) {
        // Wrapping changes with the width: every row is measured again when next shown.
        rebuildHeights();
        updateGeometries();
        if (following)
            scrollToLastRow();
        else if (m_heights->size() > 0)
            scrollTo(model()->index(topRow, 0, rootIndex()), PositionAtTop);
    } else {
        updateGeometries();
        if (following)
            scrollToLastRow();
    }
}

void LogEntryListView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        copySelection();
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

QString LogEntryListView::selectedText() const
{
    if (!selectionModel())
        return {};
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    lines.reserve(rows.size());
    for (const QModelIndex& index : rows)
        lines.append(index.data().toString());
    return lines.join(u'\n');
}

void LogEntryListView::copySelection() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void LogEntryListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    if (start != m_heights->size()) {
        rebuildHeights();
    } else {
        const int height = estimatedHeight();
        for (int row = start; row <= end; ++row)
            m_heights->append(height);
        m_measured.resize(m_heights->size(), false);
    }
    updateGeometries();
    const qint64 top = m_heights->offset(start);
    if (top < verticalOffset() + viewport()->height())
        viewport()->update();
}

void LogEntryListView::reset()
{
    QAbstractItemView::reset();
    rebuildHeights();
    updateGeometries();
    viewport()->update();
}

} // namespace quillora
