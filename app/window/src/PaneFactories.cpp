#include "window/PaneFactories.h"

#include "window/ViewParts.h"

#include <QVBoxLayout>

namespace quillora {
namespace {

class PlaceholderChatViewModel final : public ChatPaneModel {
public:
    std::optional<QUrl> workingDirectoryURL() const override { return m_url; }
    void setWorkingDirectoryURL(const std::optional<QUrl>& url) override { m_url = url; }

private:
    std::optional<QUrl> m_url;
};

QWidget* placeholderPane(const QString& symbol, const QString& title, const QString& description)
{
    auto* pane = new ContentUnavailableView(symbol, title, description);
    pane->setObjectName(QStringLiteral("placeholder"));
    return pane;
}

} // namespace

QString terminalPaneIdentity(const std::optional<QUrl>& projectFolder)
{
    return projectFolder ? projectFolder->toLocalFile() : QStringLiteral("no-folder-selected");
}

WindowFactories WindowFactories::placeholders()
{
    WindowFactories factories;
    factories.makeChatViewModel = [] { return std::make_unique<PlaceholderChatViewModel>(); };
    factories.makeChatView = [](ChatPaneModel&) {
        return placeholderPane(QStringLiteral("doc.text"), QStringLiteral("Chat"),
                               QStringLiteral("The chat pane is not available in this version."));
    };
    factories.makeTerminalPane = [](const std::optional<QUrl>& folder) {
        QWidget* pane = placeholderPane(QStringLiteral("terminal"), QStringLiteral("Terminal"),
                                        QStringLiteral("The terminal is not available in this version."));
        pane->setProperty("workingDirectory", folder ? folder->toLocalFile() : QString());
        return pane;
    };
    factories.makeFeedbackBoard = [] {
        return placeholderPane(QStringLiteral("doc.text"), QStringLiteral("Feature Requests"),
                               QStringLiteral("The feature-request board is not available in this version."));
    };
    return factories;
}

} // namespace quillora
