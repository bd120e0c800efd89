#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace quillora {

// The chat pane's model as the window uses it: the window keeps its working directory equal to
// the project folder.
class ChatPaneModel {
public:
    virtual ~ChatPaneModel() = default;
    virtual std::optional<QUrl> workingDirectoryURL() const = 0;
    virtual void setWorkingDirectoryURL(const std::optional<QUrl>& url) = 0;
};

// How a window makes the panes other parts of the application provide: the chat pane, the
// terminal pane and the feature-request board.
struct WindowFactories {
    // The window's chat model; called once per window.
    std::function<std::unique_ptr<ChatPaneModel>()> makeChatViewModel;
    // The chat pane over the window's chat model.
    std::function<QWidget*(ChatPaneModel& model)> makeChatView;
    // A terminal pane started in the project folder (absent: none open). The window makes a new
    // pane whenever the project folder changes and deletes the one it replaces.
    std::function<QWidget*(const std::optional<QUrl>& workingDirectoryURL)> makeTerminalPane;
    // The feature-request board's entry view, shown in a sheet over the window.
    std::function<QWidget*()> makeFeedbackBoard;

    // Panes that say they are not available yet.
    static WindowFactories placeholders();
};

// The terminal pane's identity: the project folder's path, or "no-folder-selected".
QString terminalPaneIdentity(const std::optional<QUrl>& projectFolder);

} // namespace quillora
