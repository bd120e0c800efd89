#include "mdview/RemoteImage.h"

#include "mdview/Environment.h"
#include "mdview/RenderNode.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace mdview {

using remoteimage::ImageSource;
using remoteimage::RemoteImageModel;

namespace {

// Shows the content for its model's state; builds it again, and has the layout redone, when
// the state changes. A success under an animated transaction fades in, repainted frame by frame.
class RemoteImageNode final : public RenderNode {
public:
    RemoteImageNode(std::shared_ptr<RemoteImageModel> model, RemoteImageContent content, Transaction transaction,
                    const Environment& environment)
        : m_model(std::move(model))
        , m_content(std::move(content))
        , m_transaction(std::move(transaction))
        , m_environment(environment)
    {
        buildContent();
        mergeBlockMargin(m_children.front()->blockMargin());
        m_connection = QObject::connect(m_model.get(), &RemoteImageModel::imageChanged, [this] {
            buildContent();
            if (m_shownKind == RemoteImageState::Kind::Success && m_transaction.animation)
                startFade();
            else
                m_fadeTimer.reset();
            invalidateLayout(); // last: the host may rebuild the tree and destroy this node
        });
    }

    ~RemoteImageNode() override { QObject::disconnect(m_connection); }

    const char* typeName() const override { return "RemoteImage"; }
    QString describe() const override
    {
        switch (m_shownKind) {
        case RemoteImageState::Kind::Empty: return QStringLiteral("empty");
        case RemoteImageState::Kind::Success:
            return m_fadeTimer ? QStringLiteral("success fading") : QStringLiteral("success");
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

    void draw(QPainter& painter, const QRectF& exposed) override
    {
        if (!m_fadeTimer) {
            drawChildren(painter, exposed);
            return;
        }
        painter.save();
        painter.setOpacity(painter.opacity() * fadeOpacity());
        drawChildren(painter, exposed);
        painter.restore();
    }

private:
    static constexpr int frameInterval = 16; // milliseconds

    void startFade()
    {
        m_fadeClock.start();
        m_fadeTimer = std::make_unique<QTimer>();
        m_fadeTimer->setInterval(frameInterval);
        QObject::connect(m_fadeTimer.get(), &QTimer::timeout, [this] {
            if (m_fadeClock.elapsed() >= m_transaction.animation->duration.count()) {
                // The last frame draws at full opacity. The timer is in its own signal: it
                // goes when control is back in the event loop.
                m_fadeTimer->stop();
                m_fadeTimer.release()->deleteLater();
            }
            requestRepaint(); // last: the host may destroy this node
        });
        m_fadeTimer->start();
    }

    double fadeOpacity() const
    {
        const auto duration = double(m_transaction.animation->duration.count());
        const double progress = duration > 0 ? std::clamp(double(m_fadeClock.elapsed()) / duration, 0.0, 1.0) : 1.0;
        return m_transaction.animation->curve.valueForProgress(progress);
    }

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
    const Transaction m_transaction;
    const Environment m_environment;
    QMetaObject::Connection m_connection;
    RemoteImageState::Kind m_shownKind = RemoteImageState::Kind::Empty;
    QElapsedTimer m_fadeClock;
    std::unique_ptr<QTimer> m_fadeTimer; // while fading in
};

class RemoteImageImpl final : public View::Impl {
public:
    RemoteImageImpl(std::optional<ImageSource> source, RemoteImageContent content, Transaction transaction)
        : m_source(std::move(source))
        , m_content(std::move(content))
        , m_transaction(std::move(transaction))
        , m_model(std::make_shared<RemoteImageModel>())
    {
    }

    RenderNodePtr build(const Environment& environment) const override
    {
        // Building is the view appearing: the model loads a source it does not show yet. A
        // cached image arrives at once, so the first content already shows it.
        m_model->setImageLoader(environment.remoteImageLoader);
        m_model->update(m_source);
        return std::make_unique<RemoteImageNode>(m_model, m_content, m_transaction, environment);
    }

private:
    const std::optional<ImageSource> m_source;
    const RemoteImageContent m_content;
    const Transaction m_transaction;
    const std::shared_ptr<RemoteImageModel> m_model;
};

} // namespace

View RemoteImage(std::optional<QUrl> url, qreal scale, RemoteImageContent content, Transaction transaction)
{
    std::optional<ImageSource> source;
    if (url)
        source = ImageSource{*url, scale};
    return View(std::make_shared<RemoteImageImpl>(std::move(source), std::move(content), std::move(transaction)));
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
        case RemoteImageState::Kind::Success: {
            if (content)
                return content(state.image());
            const QSizeF ideal = state.idealSize();
            return Image(state.image(), true).frame(ideal.width(), ideal.height());
        }
        case RemoteImageState::Kind::Failure: return fallback();
        case RemoteImageState::Kind::Empty: break;
        }
        return placeholder();
    };
}

} // namespace mdview
