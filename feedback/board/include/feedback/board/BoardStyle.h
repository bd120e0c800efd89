#pragma once

#include "feedback/Configuration.h"
#include "feedback/Records.h"
#include "feedback/Theme.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QMessageBox;
class QPainter;
class QVBoxLayout;
class QPalette;
class QWidget;

namespace plendra {

// Light or dark, from a palette: dark when the window colour is darker than its text.
Appearance appearanceOf(const QPalette& palette);

// The board's colours for one appearance, from the theme as it stands.
QColor textColor(const Theme& theme, Appearance appearance); // the theme's, else black or white
QColor cardColor(const Theme& theme, Appearance appearance); // secondary
QColor boardBackground(const Theme& theme, Appearance appearance); // tertiary
QColor withAlpha(QColor color, qreal alpha);

// The board's text styles, in pixels.
namespace fonts {
QFont system(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont title(); // 17, semibold
QFont body(); // 13
QFont footnote(); // 12
QFont caption2(); // 11
} // namespace fonts

// The board's bundled symbols, drawn in one colour. An unknown name draws nothing.
bool hasBoardSymbol(const QString& name);
QPixmap boardSymbol(const QString& name, const QColor& color, int size, qreal devicePixelRatio);
void paintBoardSymbol(QPainter& painter, const QString& name, const QColor& color, const QRectF& box);

// The vote button's symbol for `icon`, checked against the bundled ones; a blank or unknown name
// falls back to "arrowtriangle.up.fill" and says why once per name.
QString upvoteSymbolName(const PlendraUpvoteIcon& icon);

// A soft shadow around a rounded rectangle: `opacity` of black fading out over `blur` pixels.
void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, qreal blur, qreal opacity,
                     QPointF offset = {});

// What the board says of a failed call beyond its reason's own text.
QString errorDescription(const ApiError& error);

// A label that shows its text as it stands, never as markup; in `font` when one is given.
QLabel* plainLabel(const QString& text = {}, const QFont& font = {});
// Sets the colour a label or frame draws its text or line in.
void setForeground(QWidget* widget, const QColor& color);

// Lays `owner` out as the page of a sheet: a row with `closeButton` at its trailing end over
// `page` in a scroll view through which the sheet's background shows.
void layOutSheetPage(QWidget* owner, QWidget* closeButton, QWidget* page);

// A window-modal alert of plain text that deletes itself once closed; open it with open().
QMessageBox* makeBoardAlert(QWidget* parent, const QString& title, const QString& message = {});

// A rounded surface in the board's field colour (the theme's secondary), holding one widget
// inside `padding`.
class RoundedSurface : public QWidget {
    Q_OBJECT
public:
    // Absent radius: the configured corner radius, read at each paint.
    RoundedSurface(QWidget* content, QMargins padding, std::optional<qreal> radius = std::nullopt,
                   QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<qreal> m_radius;
};

// A page whose column of widgets is at most `maxWidth` wide, centred, inside `padding`.
class CentredPage : public QWidget {
    Q_OBJECT
public:
    CentredPage(int maxWidth, QMargins padding, QWidget* parent = nullptr);
    QVBoxLayout* column() const { return m_column; }

    // Its height is the one its width needs, not the tallest its wrapping texts could be: a
    // scroll area around it scrolls only when the page is longer than the view.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_maxWidth;
    QMargins m_padding;
    QVBoxLayout* m_column;
};

// Gives a text input the board's text colour and, unless `transparent`, the field colour behind
// its text; a transparent input shows the surface it lies on.
void styleTextInput(QWidget* input, Appearance appearance, bool transparent = false);

// A sheet the board presents: a window-modal dialog on the board background. Escape and the
// window's close button go through `closeRule` when one is set (it may ask first); dismiss()
// closes for good.
class BoardSheet : public QDialog {
    Q_OBJECT
public:
    BoardSheet(QWidget* parent, QSize minimumSize, int maximumHeight);

    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }
    void setCloseRule(std::function<void()> rule) { m_closeRule = std::move(rule); }
    void dismiss();

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_content = nullptr;
    std::function<void()> m_closeRule;
};

} // namespace plendra
