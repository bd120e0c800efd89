#pragma once

#include "terminal/Terminal.h"
#include "terminal/view/SelectionService.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class QLabel;
class QScrollBar;
class QTimer;

namespace terminal {

class CaretView;
class CellPainter;
struct KeyModes;
class TerminalDebugView;
class TerminalView;

// The owner of a terminal view. `send` carries every byte for the program: keys, replies and
// mouse reports; `paste` pasted text (framed for bracketed paste already).
class TerminalViewDelegate {
public:
    virtual void sizeChanged(TerminalView&, int /*cols*/, int /*rows*/) {}
    virtual void setTerminalTitle(TerminalView&, const QString&) {}
    // The folder the program reported (OSC 7), as it wrote it; nothing when it cleared it.
    virtual void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>& /*directory*/) {}
    virtual void send(TerminalView& source, std::span<const std::uint8_t> data) = 0;
    virtual void paste(TerminalView& source, std::span<const std::uint8_t> data) { send(source, data); }
    // The visible part of the scroll-back moved: 0 at the top, 1 at the bottom.
    virtual void scrolled(TerminalView&, double /*position*/) {}
    // The user Ctrl-clicked a link; the default opens it when linkToOpen allows it.
    virtual void requestOpenLink(TerminalView& source, const QString& link, const std::map<QString, QString>& params);
    virtual void bell(TerminalView&);
    virtual void iTermContent(TerminalView&, std::span<const std::uint8_t>) {}
    // Rows the display update found changed, when the view's notifyUpdateChanges is on.
    virtual void rangeChanged(TerminalView&, int /*startY*/, int /*endY*/) {}

protected:
    ~TerminalViewDelegate() = default;
};

// The target and the parameters of a link a program wrote (OSC 8: "params;address").
struct LinkPayload {
    QString address;
    std::map<QString, QString> params;
};
// Nothing when the payload has no ";".
std::optional<LinkPayload> parseLinkPayload(std::string_view payload);
// The URL a link opens: only http, https, mailto and file, parsed strictly and never re-encoded.
std::optional<QUrl> linkToOpen(const QString& address);

// A mouse event for the program, in the terms of xterm's reports: the button (0 left, 1 middle,
// 2 right, 64 and 65 the wheel up and down), the modifier bits, and the screen cell.
struct MouseReport {
    int button = 0;
    bool release = false;
    bool motion = false;
    bool shift = false, alt = false, control = false;
    int col = 0;
    int row = 0;
    int pixelX = 0;
    int pixelY = 0;

    // The report's button-flags number: the button (3 for a release), modifiers 4, 8, 16,
    // motion 32.
    int buttonFlags() const;
    friend bool operator==(const MouseReport&, const MouseReport&) = default;
};

// One strip of an inline image: the part of the picture that lies on one row. Strips are
// numbered in the order they were placed.
class ImageStrip final : public TerminalImage {
public:
    ImageStrip(QImage image, int col, std::uint64_t serial, std::shared_ptr<std::size_t> budget);
    ~ImageStrip() override;
    const QImage image;
    const int col;
    const std::uint64_t serial;

private:
    std::shared_ptr<std::size_t> budget_;
};

// A view of one Terminal: draws its screen and scroll-back, takes keys, input-method text,
// paste and the mouse, selects and copies, and hands every byte for the program to its
// delegate. The program's output comes in through feed().
class TerminalView : public QWidget, public TerminalDelegate {
    Q_OBJECT
public:
    // Largest inline image the view places, and the bytes of images one terminal keeps.
    static constexpr qint64 maxImagePixels = 16 * 1024 * 1024;
    static constexpr std::size_t maxEncodedImageBytes = std::size_t(8) << 20;
    static constexpr std::size_t imageBudgetBytes = std::size_t(256) << 20;
    // Shortest time between two paints under continuous output.
    static constexpr std::chrono::microseconds flushInterval{16'670};

    // Without a font the system's fixed font.
    explicit TerminalView(QWidget* parent = nullptr, const std::optional<QFont>& font = std::nullopt);
    ~TerminalView() override;

    Terminal& terminal() { return *terminal_; }
    const Terminal& terminal() const { return *terminal_; }
    SelectionService& selection() { return *selection_; }

    void setTerminalDelegate(TerminalViewDelegate* delegate) { delegate_ = delegate; }
    TerminalViewDelegate* terminalDelegate() const { return delegate_; }

    // Output of the program.
    void feed(std::span<const std::uint8_t> bytes);
    void feed(std::string_view text);
    // Bytes for the program (the view's own: keys, paste); scrolls to the caret first.
    void send(std::span<const std::uint8_t> data);
    void send(std::string_view text);

    QFont terminalFont() const;
    // A new font: the cells are measured again and the terminal resized to the frame.
    void setTerminalFont(const QFont& font);
    QSizeF cellSize() const { return cellSize_; }
    // The frame that holds the terminal's columns and rows exactly, the scroll bar included.
    QSize getOptimalFrameSize() const;
    // The terminal takes the size and the delegate is told; the modes stay.
    void resize(int cols, int rows);

    QColor nativeForegroundColor() const { return nativeFg_; }
    QColor nativeBackgroundColor() const { return nativeBg_; }
    void setNativeForegroundColor(const QColor& color);
    void setNativeBackgroundColor(const QColor& color);
    // The palette's text and base colours.
    void configureNativeColors();
    void installColors(const std::vector<Color>& colors);
    QColor caretColor() const;
    void setCaretColor(const QColor& color);
    std::optional<QColor> caretTextColor() const;
    void setCaretTextColor(const std::optional<QColor>& color);
    QColor selectedTextBackgroundColor() const { return selectionColor_; }
    void setSelectedTextBackgroundColor(const QColor& color);
    bool useBrightColors() const { return useBrightColors_; }
    void setUseBrightColors(bool on);

    bool backspaceSendsControlH = false;
    bool optionAsMetaKey = true;
    bool allowMouseReporting = true;
    bool notifyUpdateChanges = false;
    bool preserveSelectionOnOutput = false;

    // Focus as the caret shows it: the view has the keyboard focus in the active window.
    bool hasFocusForCaret() const;

    // Selection, copy and paste.
    bool selectionActive() const { return selection_->active(); }
    std::optional<std::string> getSelection() const;
    void selectAll();
    void selectNone();
    void copy();
    void paste();
    void pastePrimary();
    // Sends text as pasted: framed when the program asked for bracketed paste, with any end
    // marker inside taken out, and line breaks sent as carriage returns.
    void pasteText(const QString& text);

    // The scroll-back.
    bool canScroll() const;
    double scrollPosition() const;
    double scrollThumbsize() const;
    void scrollTo(int row);
    void scrollUp(int lines);
    void scrollDown(int lines);
    void pageUp();
    void pageDown();
    void scroll(double toPosition);
    void ensureCaretIsVisible();
    QScrollBar* scroller() const { return scroller_; }

    // The cell under a point of the view, and the point clamped into the view.
    struct MouseHit {
        Position grid;
        Position pixels;
    };
    MouseHit calculateMouseHit(QPointF point) const;
    // The payload (OSC 8) of the cell under a point.
    std::optional<std::string> payloadAt(QPointF point) const;
    QLabel* urlPreview() const { return urlPreview_; }

    // Text of the input method's composition, drawn at the caret and never sent.
    QString preeditText() const { return preedit_; }
    // Where the caret is drawn, in view coordinates.
    QRectF caretFrame() const;
    CaretView& caret() { return *caret_; }

    // Paints every changed row now instead of at the next flush.
    void flushDirtyRows();
    // The developer's overlay refreshed by each flush, if one is attached.
    TerminalDebugView* debug() const;
    void setDebug(TerminalDebugView* debug);
    // When the view last finished a paint (for benchmarks and tests).
    std::uint64_t paintCount() const { return paintCount_; }

    // TerminalDelegate
    void send(Terminal& source, std::span<const std::uint8_t> data) override;
    void showCursor(Terminal&) override;
    void hideCursor(Terminal&) override;
    void setTerminalTitle(Terminal&, const std::string& title) override;
    void hostCurrentDirectoryUpdated(Terminal&) override;
    void sizeChanged(Terminal&) override;
    void scrolled(Terminal&, int yDisp) override;
    void linefeed(Terminal&) override;
    void bufferActivated(Terminal&) override;
    void bell(Terminal&) override;
    void selectionChanged(Terminal&) override;
    void mouseModeChanged(Terminal&) override;
    void cursorStyleChanged(Terminal&, CursorStyle style) override;
    void colorChanged(Terminal&, std::optional<int> index) override;
    void setForegroundColor(Terminal&, Color color) override;
    void setBackgroundColor(Terminal&, Color color) override;
    void iTermContent(Terminal&, std::span<const std::uint8_t> content) override;
    void createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height) override;
    void createImage(Terminal&, std::span<const std::uint8_t> data, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio) override;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

signals:
    // The selection was made or changed by the user (it is also the primary selection then).
    void selectionMade();

protected:
    // Where a mouse report goes: the terminal encodes it in the program's chosen protocol.
    virtual void reportMouse(const MouseReport& report);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setupOptions();
    void measureCell();
    bool processSizeChange(QSize size);
    void layoutScroller();
    void updateScroller();
    void scheduleDisplayFlush();
    void invalidateColors();
    void placeCaret();
    void markAllDirty();
    void handleKey(QKeyEvent* event);
    KeyModes keyModes() const;
    bool mouseReporting(const QMouseEvent* event) const;
    MouseReport makeReport(const QMouseEvent* event, int button, bool release, bool motion) const;
    void reportPointer(const MouseReport& report);
    void previewUrl(const std::string& payload);
    void turnOffUrlPreview();
    void selectionFinished();
    void placeImage(QImage image, ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio);
    void trimImages(std::size_t incoming);

    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<SelectionService> selection_;
    std::unique_ptr<CellPainter> painter_;
    std::unique_ptr<CaretView> caret_;
    TerminalViewDelegate* delegate_ = nullptr;
    QScrollBar* scroller_ = nullptr;
    QLabel* urlPreview_ = nullptr;
    QPointer<TerminalDebugView> debug_;
    QTimer* flushTimer_ = nullptr;

    QFont font_;
    QSizeF cellSize_{1, 1};
    QColor nativeFg_;
    QColor nativeBg_;
    QColor selectionColor_;
    bool useBrightColors_ = true;
    bool settingFg_ = false;
    bool settingBg_ = false;

    QElapsedTimer sinceFlush_;
    bool flushPending_ = false;
    bool scrollerDirty_ = false;
    bool fullRepaint_ = true;
    int paintedYDisp_ = -1;
    QRect placedCaret_;
    std::uint64_t paintCount_ = 0;
    QElapsedTimer sinceBell_;

    // Focus, keys and the input method.
    bool hasFocus_ = false;
    bool commandActive_ = false;
    QString preedit_;

    // The mouse.
    int pressedButton_ = -1;
    std::optional<Position> lastReportedCell_;
    int clickCount_ = 0;
    bool pressHeld_ = false;
    QElapsedTimer sinceClick_;
    Position clickCell_;
    bool selecting_ = false;
    bool didSelectionDrag_ = false;
    double wheelAngle_ = 0;
    double wheelPixels_ = 0;

    // Inline images: the bytes their strips hold, shared with the strips, and the next strip's
    // number.
    std::shared_ptr<std::size_t> imageBytes_;
    std::uint64_t nextStrip_ = 0;
};

} // namespace terminal
