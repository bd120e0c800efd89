#pragma once

#include <QLabel>
#include <QScrollArea>
#include <QString>
#include <QTimer>
#include <QWidget>

class QMessageBox;
class QVBoxLayout;

namespace quillora {

// A window-modal alert whose title and message are plain text, deleted once it closes. The
// caller adds its buttons and shows it with open(), which does not block.
QMessageBox* makePlainAlert(QWidget* parent, const QString& title, const QString& message);

// A label of plain text only: names, messages and tooltips are never read as rich text.
QLabel* plainLabel(const QString& text = {}, QWidget* parent = nullptr);

// One line of plain text elided in the middle when narrower than its text.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return m_text; }
    // Absent: the palette's window text.
    void setColor(const QColor& color);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color;
};

// A centred symbol over a title and, when given, a description: what a view shows in place of
// content it does not have.
class ContentUnavailableView : public QWidget {
    Q_OBJECT
public:
    ContentUnavailableView(const QString& symbol, const QString& title, const QString& description = {},
                           QWidget* parent = nullptr);
    QString title() const;
    QString symbol() const { return m_symbol; }
    // Puts a widget (a button) under the title, centred.
    void addWidget(QWidget* widget);

protected:
    void changeEvent(QEvent* event) override;

private:
    void tint();
    QString m_symbol;
    QVBoxLayout* m_layout;
    QLabel* m_icon;
    QLabel* m_title;
};

// A message in the secondary text colour on a scrolling page, 24 pixels from its edges.
class MessagePage : public QScrollArea {
    Q_OBJECT
public:
    explicit MessagePage(QWidget* parent = nullptr);
    void setMessage(const QString& message);
    QString message() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void tint();
    QLabel* m_label;
};

// An indeterminate progress indicator: a turning arc, animated only while visible.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};

} // namespace quillora
