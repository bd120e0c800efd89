#include "remoteimage/RemoteImageView.h"

#include "mdview/RenderNode.h"

#include <memory>

namespace remoteimage {

namespace {

// Shows the content built for its model's state at build time.
class RemoteImageNode final : public mdview::RenderNode {
public:
    RemoteImageNode(std::shared_ptr<RemoteImageModel> model, mdview::RenderNodePtr content)
        : m_model(std::move(model))
        , m_shownKind(m_model->image().kind())
    {
        addChild(std::move(content));
    }

    RemoteImageModel* model() const { return m_model.get(); }

    const char* typeName() const override { return "RemoteImage"; }
    QString describe() const override
    {
        switch (m_shownKind) {
        case RemoteImageState::Kind::Empty: return QStringLiteral("empty");
        case RemoteImageState::Kind::Success: return QStringLiteral("success");
        case RemoteImageState::Kind::Failure: return QStringLiteral("failure");
        }
        return {};
    }
    std::optional<double> firstBaseline(const QSizeF& size) override
    {
        return m_children.front()->firstBaseline(size);
    }

protected:
    QSizeF sizeThatFits(const mdview::ProposedSize& proposal) override
    {
        return m_children.front()->measure(proposal);
    }

private:
    std::shared_ptr<RemoteImageModel> m_model;
    RemoteImageState::Kind m_shownKind;
};

class RemoteImageImpl final : public mdview::View::Impl {
public:
    RemoteImageImpl(std::optional<ImageSource> source, RemoteImageContent content, RemoteImageLoader* loader)
        : m_source(std::move(source))
        , m_content(std::move(content))
        , m_loader(loader)
        , m_model(std::make_shared<RemoteImageModel>())
    {
    }

    mdview::RenderNodePtr build(const mdview::Environment& environment) const override
    {
        // Building is the view appearing: the model loads a source it does not show yet. A
        // cached image arrives at once, so the content below already shows it.
        m_model->setImageLoader(m_loader);
        m_model->update(m_source);
        return std::make_unique<RemoteImageNode>(m_model, m_content(m_model->image()).build(environment));
    }

private:
    const std::optional<ImageSource> m_source;
    const RemoteImageContent m_content;
    RemoteImageLoader* const m_loader;
    const std::shared_ptr<RemoteImageModel> m_model;
};

void collectModels(const mdview::RenderNode& node, std::vector<RemoteImageModel*>& models)
{
    if (const auto* image = dynamic_cast<const RemoteImageNode*>(&node))
        models.push_back(image->model());
    for (const auto& child : node.children())
        collectModels(*child, models);
}

} // namespace

mdview::View RemoteImage(std::optional<QUrl> url, qreal scale, RemoteImageContent content, RemoteImageLoader* loader)
{
    std::optional<ImageSource> source;
    if (url)
        source = ImageSource{*url, scale};
    return mdview::View(std::make_shared<RemoteImageImpl>(std::move(source), std::move(content), loader));
}

mdview::View RemoteImagePlaceholder()
{
    return mdview::Shape(mdview::ShapeKind::roundedRectangle,
                         {.fill = mdview::Color::rgba(0x8080803d), .cornerRadius = 4});
}

RemoteImageContent imageOrPlaceholder(LoadedImageContent content)
{
    return imageOrPlaceholder(std::move(content), RemoteImagePlaceholder);
}

RemoteImageContent imageOrPlaceholder(LoadedImageContent content, StateViewBuilder placeholder)
{
    return imageOrFallback(std::move(content), placeholder, placeholder);
}

RemoteImageContent imageOrFallback(LoadedImageContent content, StateViewBuilder placeholder, StateViewBuilder fallback)
{
    return [content = std::move(content), placeholder = std::move(placeholder),
            fallback = std::move(fallback)](const RemoteImageState& state) {
        switch (state.kind()) {
        case RemoteImageState::Kind::Success: return content ? content(state.image()) : mdview::Image(state.image());
        case RemoteImageState::Kind::Failure: return fallback();
        case RemoteImageState::Kind::Empty: break;
        }
        return placeholder();
    };
}

mdview::View RemoteImageProvider::makeImage(const std::optional<QUrl>& url) const
{
    return RemoteImage(
        url, 1,
        [](const RemoteImageState& state) {
            if (state.kind() == RemoteImageState::Kind::Success)
                return mdview::ResizeToFit(mdview::Image(state.image(), true));
            return mdview::ColorView(mdview::Color::clear()).frame(0, 0);
        },
        m_loader);
}

void followRemoteImages(mdview::ViewHost& host)
{
    auto connections = std::make_shared<std::vector<QMetaObject::Connection>>();
    auto rebuildPending = std::make_shared<bool>(false);
    auto follow = [&host, connections, rebuildPending] {
        for (const QMetaObject::Connection& connection : *connections)
            QObject::disconnect(connection);
        connections->clear();
        if (!host.root())
            return;
        std::vector<RemoteImageModel*> models;
        collectModels(*host.root(), models);
        for (RemoteImageModel* model : models) {
            connections->push_back(QObject::connect(model, &RemoteImageModel::imageChanged, &host, [&host, rebuildPending] {
                // Queued: the change may come while the tree that holds the model is in use.
                if (std::exchange(*rebuildPending, true))
                    return;
                QMetaObject::invokeMethod(
                    &host,
                    [&host, rebuildPending] {
                        *rebuildPending = false;
                        host.setEnvironment(host.environment());
                    },
                    Qt::QueuedConnection);
            }));
        }
    };
    QObject::connect(&host, &mdview::ViewHost::layoutChanged, &host, follow);
    follow();
}

} // namespace remoteimage
