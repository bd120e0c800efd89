#include "mdview/RemoteImage.h"

#include "mdview/Environment.h"
#include "mdview/RenderNode.h"

#include <memory>

namespace mdview {

using remoteimage::ImageSource;
using remoteimage::RemoteImageModel;

namespace {

// Shows the content for its model's state; builds it again, and has the layout redone, when
// the state changes.
class RemoteImageNode final : public RenderNode {
public:
    RemoteImageNode(std::shared_ptr<RemoteImageModel> model, RemoteImageContent content,
                    const Environment& environment)
        : m_model(std::move(model))
        , m_content(std::move(content))
        , m_environment(environment)
    {
        buildContent();
        mergeBlockMargin(m_children.front()->blockMargin());
        m_connection = QObject::connect(m_model.get(), &RemoteImageModel::imageChanged, [this] {
            buildContent();
            invalidateLayout();
        });
    }

    ~RemoteImageNode() override { QObject::disconnect(m_connection); }

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
    QSizeF sizeThatFits(const ProposedSize& proposal) override
    {
        return m_children.front()->measure(proposal);
    }

private:
    void buildContent()
    {
        const RemoteImageState state = m_model->image();
        RenderNodePtr content = m_content(state).build(m_environment);
        m_shownKind = state.kind();
        m_children.clear();
        addChild(std::move(content));
    }

    const std::shared_ptr<RemoteImageModel> m_model;
    const RemoteImageContent m_content;
    const Environment m_environment;
    QMetaObject::Connection m_connection;
    RemoteImageState::Kind m_shownKind = RemoteImageState::Kind::Empty;
};

class RemoteImageImpl final : public View::Impl {
public:
    RemoteImageImpl(std::optional<ImageSource> source, RemoteImageContent content)
        : m_source(std::move(source))
        , m_content(std::move(content))
        , m_model(std::make_shared<RemoteImageModel>())
    {
    }

    RenderNodePtr build(const Environment& environment) const override
    {
        // Building is the view appearing: the model loads a source it does not show yet. A
        // cached image arrives at once, so the first content already shows it.
        m_model->setImageLoader(environment.remoteImageLoader);
        m_model->update(m_source);
        return std::make_unique<RemoteImageNode>(m_model, m_content, environment);
    }

private:
    const std::optional<ImageSource> m_source;
    const RemoteImageContent m_content;
    const std::shared_ptr<RemoteImageModel> m_model;
};

} // namespace

View RemoteImage(std::optional<QUrl> url, qreal scale, RemoteImageContent content)
{
    std::optional<ImageSource> source;
    if (url)
        source = ImageSource{*url, scale};
    return View(std::make_shared<RemoteImageImpl>(std::move(source), std::move(content)));
}

View RemoteImage(std::optional<QUrl> url, qreal scale)
{
    return RemoteImage(std::move(url), scale, imageOrPlaceholder());
}

View RemoteImagePlaceholder()
{
    return Shape(ShapeKind::roundedRectangle, {.fill = Color::rgba(0x8080803d), .cornerRadius = 4});
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
        case RemoteImageState::Kind::Success: return content ? content(state.image()) : Image(state.image());
        case RemoteImageState::Kind::Failure: return fallback();
        case RemoteImageState::Kind::Empty: break;
        }
        return placeholder();
    };
}

} // namespace mdview
