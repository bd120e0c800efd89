#pragma once

#include "feedback/Records.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;

namespace plendra {

class BusyIndicator;
class CommentModel;

// The line a comment is written in, with its send button at the trailing end. The text is the
// model's; sending is the owner's action, which the button only starts. The button is off while
// the text holds nothing but blanks, and gives way to a spinner while the model is sending.
// Return sends nothing.
class CommentFieldView : public QWidget {
    Q_OBJECT
public:
    CommentFieldView(CommentModel& model, std::function<void()> submitAction, QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_lineEdit; }
    QAbstractButton* sendButton() const { return m_send; }
    BusyIndicator* spinner() const { return m_spinner; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void restyle();

    CommentModel& m_model;
    QLineEdit* m_lineEdit;
    QAbstractButton* m_send;
    BusyIndicator* m_spinner;
};

// One comment as a card: who wrote it (an administrator or a user) and when, over its text.
class SingleCommentView : public QWidget {
    Q_OBJECT
public:
    explicit SingleCommentView(const CommentResponse& comment, QWidget* parent = nullptr);

    QString author() const;
    QString date() const;
    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QLabel* m_author;
    QLabel* m_date;
    QLabel* m_text;
};

// The comments of a request, one card each, in the order given; the newest sent one goes first.
class CommentListView : public QWidget {
    Q_OBJECT
public:
    explicit CommentListView(const QList<CommentResponse>& comments, QWidget* parent = nullptr);

    void prepend(const CommentResponse& comment);
    QList<SingleCommentView*> cards() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace plendra
