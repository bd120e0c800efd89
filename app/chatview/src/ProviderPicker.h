#pragma once

#include <chat/ChatModels.h>

#include <QPushButton>

#include <functional>

class QMenu;

namespace quillora::chat {

// The header's choice of provider: a flat button with the current provider's name and a
// chevron; a click opens the list (Codex, then Claude, the current one ticked) without blocking.
class ProviderPicker : public QPushButton {
    Q_OBJECT
public:
    static constexpr int maxWidth = 130;

    explicit ProviderPicker(QWidget* parent = nullptr);
    void setSelection(ChatProvider provider);
    ChatProvider selection() const { return m_selection; }
    QMenu* list() const { return m_list; }
    QSize sizeHint() const override;

    std::function<void(ChatProvider)> onSelect;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QMenu* m_list;
    ChatProvider m_selection = ChatProvider::codex;
};

} // namespace quillora::chat
