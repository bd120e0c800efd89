#pragma once

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QTimer>

#include <memory>

namespace quillora {

class LogEntryDelegate;
class LogStore;
class RowHeights;

// The running session's entries as list rows, read from the store in place: the model keeps
// no copy of them. New entries join at most once a frame, as one insertion, so a burst of
// logging costs the views one update per frame, not one per entry.
class LogEntryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int catchUpMilliseconds = 16;

    enum Role {
        TimeRole = Qt::UserRole + 1, // "HH:mm:ss.SSS", local time
        LevelRole,                   // the LogLevel, as an int
        CategoryRole,
        MessageRole,
    };

    explicit LogEntryListModel(LogStore& store, QObject* parent = nullptr);

    // The rows published so far; the store may already hold a few more.
    int rowCount(const QModelIndex& parent = {}) const override;
    // The display text is the entry's line as the session file has it.
    QVariant data(const QModelIndex& index, int role) const override;

    // Publishes what the store holds now, without waiting for the event loop.
    void catchUp();

private:
    LogStore& m_store;
    int m_rows = 0;
    QTimer m_catchUp;
};

// The entry rows: time, level word in its colour, category cut to one line, and the message
// wrapping over at most `maxMessageLines` lines. The view lays out only the rows it shows: a
// row's height is measured when it is first drawn (until then it counts as one line), and a
// new row costs O(log n), so a session of any length stays fast. Ctrl+C copies the selected
// rows' lines.
class LogEntryListView : public QAbstractItemView {
    Q_OBJECT
public:
    static constexpr int maxMessageLines = 20;

    explicit LogEntryListView(QWidget* parent = nullptr);
    ~LogEntryListView() override;

    void setModel(QAbstractItemModel* model) override;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    // Puts the last row's bottom at the bottom edge.
    void scrollToLastRow();
    // The selected rows' display texts, in row order, joined by line feeds.
    QString selectedText() const;
    void copySelection() const;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void reset() override;

private:
    int rowHeight(int row) const;
    // Measures the rows that cover the viewport from `firstRow` (or up to `lastRow`) on.
    void measureDown(int firstRow);
    void measureUp(int lastRow);
    void rebuildHeights();
    int estimatedHeight() const;

    std::unique_ptr<RowHeights> m_heights;
    LogEntryDelegate* m_delegate;
    std::vector<bool> m_measured;
    int m_measuredWidth = -1;
};

} // namespace quillora
