#include "chatview/ChatComposerTextView.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>

namespace quillora::chat {

ChatComposerTextView::ChatComposerTextView(QWidget* parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
    setUndoRedoEnabled(true);
    document()->setDocumentMargin(0);
    setViewportMargins(8, 10, 8, 10);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingText && onTextEdited)
            onTextEdited(toPlainText());
    });
}

void ChatComposerTextView::setText(const QString& text)
{
    if (toPlainText() == text)
        return;
    m_settingText = true;
    setPlainText(text);
    moveCursor(QTextCursor::End);
    m_settingText = false;
}

void ChatComposerTextView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->modifiers() & Qt::ShiftModifier) {
        if (!isReadOnly())
            textCursor().insertText(QStringLiteral("\n"));
        ensureCursorVisible();
        return;
    }
    if (isComposing()) {
        // Return finishes the word being composed: it goes in as typed, and nothing is sent.
        QInputMethodEvent commit;
        commit.setCommitString(std::exchange(m_preedit, QString()));
        QPlainTextEdit::inputMethodEvent(&commit);
        QGuiApplication::inputMethod()->reset();
        return;
    }
    if (onSubmit)
        onSubmit();
}

void ChatComposerTextView::inputMethodEvent(QInputMethodEvent* event)
{
    m_preedit = event->preeditString();
    QPlainTextEdit::inputMethodEvent(event);
}

} // namespace quillora::chat
