#pragma once

#include "terminal/view/TerminalView.h"

#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QScrollBar>

#include <cmath>
#include <memory>

#include <string>
#include <vector>

namespace terminal::testing {

// The pinned monospaced face at the pane's size.
inline QFont testFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(12);
    return font;
}

// A delegate that keeps what the view sends.
class RecordingDelegate : public TerminalViewDelegate {
public:
    std::string sent;
    std::string pasted;
    std::vector<std::pair<int, int>> sizes;
    std::vector<QString> openedLinks;

    void send(TerminalView&, std::span<const std::uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void paste(TerminalView&, std::span<const std::uint8_t> data) override { pasted.append(data.begin(), data.end()); }
    void sizeChanged(TerminalView&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void requestOpenLink(TerminalView&, const QString& link, const std::map<QString, QString>&) override
    {
        openedLinks.push_back(link);
    }
};

// A view whose mouse reports are kept.
class RecordingView : public TerminalView {
public:
    using TerminalView::TerminalView;
    std::vector<MouseReport> reports;

protected:
    void reportMouse(const MouseReport& report) override { reports.push_back(report); }
};

// A shown view of `cols` x `rows` cells with white text on black.
template <typename View = TerminalView>
std::unique_ptr<View> makeView(int cols, int rows, RecordingDelegate* delegate = nullptr)
{
    auto view = std::make_unique<View>(nullptr, testFont());
    view->setTerminalDelegate(delegate);
    view->setNativeForegroundColor(Qt::white);
    view->setNativeBackgroundColor(Qt::black);
    const QSizeF cell = view->cellSize();
    view->setFixedSize(static_cast<int>(std::ceil(cell.width() * cols)) + view->scroller()->sizeHint().width(),
                       static_cast<int>(std::ceil(cell.height() * rows)));
    view->show();
    return view;
}

// The view as painted now.
inline QImage grabView(TerminalView& view)
{
    view.flushDirtyRows();
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace terminal::testing
