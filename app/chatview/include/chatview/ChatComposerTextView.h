#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace quillora::chat {

// The multi-line prompt field: plain text only, Return submits, Shift+Return inserts a line
// break. Return while an input method is composing commits the composition and does not
// submit. Return with Ctrl or Alt (and without Shift) submits as well.
class ChatComposerTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ChatComposerTextView(QWidget* parent = nullptr);

    // Called for Return; absent: Return does nothing.
    std::function<void()> onSubmit;
    // Called with the whole text after every edit by the user.
    std::function<void(const QString&)> onTextEdited;

    // Brings the field in line with the bound text; the same text leaves it untouched.
    void setText(const QString& text);
    void setEditable(bool editable) { setReadOnly(!editable); }
    bool isComposing() const { return !m_preedit.isEmpty(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    QString m_preedit;
    bool m_settingText = false;
};

} // namespace quillora::chat
