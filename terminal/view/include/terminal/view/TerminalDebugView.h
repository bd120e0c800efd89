#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;

namespace terminal {

class Terminal;
class TerminalView;

// A developer's overlay over a terminal view: every slot of the active buffer's rows with its
// index, the display top (D) and the buffer base (B) marked, and each row's cells, under a
// status line of the cursor and scroll counters. Made a child of the view and attached to it,
// it is refreshed by each of the view's flushes. Nothing in the application makes one.
class TerminalDebugView : public QWidget {
    Q_OBJECT
public:
    explicit TerminalDebugView(TerminalView& view);
    ~TerminalDebugView() override;

    // Takes the counters into the status line and repaints the dump (hides QWidget::update()).
    void update();
    QString statusText() const;
    // The dump's text for slot `index`, as painted.
    QString slotText(int index) const;
    int slotCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TerminalView& terminalView_;
    Terminal& terminal_;
    QFont font_;
    int height_ = 0;
    QLabel* dbg_;
};

} // namespace terminal
