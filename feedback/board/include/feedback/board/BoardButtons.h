#pragma once

#include <QAbstractButton>
#include <QTimer>
#include <QWidget>

namespace plendra {

// An indeterminate progress indicator: eight spokes turning, animated only while visible.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(int side = 20, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {m_side, m_side}; }
    // The spokes' colour; absent: the palette's text.
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_side;
    int m_step = 0;
    QColor m_color;
    QTimer m_timer;
};

// The board's filled text button of a fixed size: the theme's primary colour (primary) or the
// default secondary surface (secondary) under the configured save-button caption colour. While
// loading it shows a small spinner instead of its caption and cannot be pressed.
class PLButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class ButtonStyle { primary, secondary };

    PLButton(const QString& text, ButtonStyle style, QSize size, QWidget* parent = nullptr);

    bool isLoading() const { return m_loading; }
    void setLoading(bool loading);

    QSize sizeHint() const override { return m_size; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ButtonStyle m_style;
    QSize m_size;
    bool m_loading = false;
    BusyIndicator* m_spinner;
};

// The round floating button with a plus sign that opens the create form, with its shadow.
class AddButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit AddButton(QSize size, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // The circle, in this widget's coordinates (the rest is room for the shadow).
    QRect circle() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QSize m_size;
};

// A filled circle with a cross in the secondary text colour, 15 pixels from the top and trailing
// edges: closes a sheet.
class CloseButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CloseButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};

// A rule across with the upper-cased "Comments" caption in its middle.
class SeparatorView : public QWidget {
    Q_OBJECT
public:
    explicit SeparatorView(QWidget* parent = nullptr);
    QString caption() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace plendra
