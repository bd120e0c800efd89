#include "mddoc/BlockViews.h"

#include "mdview/Environment.h"
#include "mdview/Theme.h"

#include "markdown/InlineRewrite.h"

#include <QHash>
#include <QPointer>

#include <set>

namespace mddoc {

using namespace mdview;
using markdown::BlockNode;
using markdown::InlineNode;
using markdown::MarkdownContent;

namespace {

// Inline images are kept at no more than this many points on either side: the size they are
// drawn at, so a large photograph in running text costs what it shows.
constexpr int maximumInlineImageSide = 1024;

QImage displayed(QImage image)
{
    const QSizeF points = QSizeF(image.size()) / image.devicePixelRatio();
    if (points.width() <= maximumInlineImageSide && points.height() <= maximumInlineImageSide)
        return image;
    const QSize bound(int(maximumInlineImageSide * image.devicePixelRatio()),
                      int(maximumInlineImageSide * image.devicePixelRatio()));
    const qreal ratio = image.devicePixelRatio();
    QImage scaled = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}

struct ImageOrder {
    bool operator()(const RawImageData& a, const RawImageData& b) const
    {
        return std::tie(a.source, a.alt, a.destination) < std::tie(b.source, b.alt, b.destination);
    }
};
using ImageSet = std::set<RawImageData, ImageOrder>;

// The image data of the inlines that stand directly in the list.
ImageSet topLevelImages(const std::vector<InlineNode>& inlines)
{
    ImageSet images;
    for (const InlineNode& node : inlines) {
        if (auto data = imageData(node))
            images.insert(std::move(*data));
    }
    return images;
}

struct InlineImages {
    QHash<QString, QImage> images; // by source as written
    bool requested = false;
};

// Loads every image through the environment's provider; each one that arrives is shown, each
// one that fails is left out alone.
void requestImages(const ImageSet& images, const Environment& environment,
                   const StateHandle<InlineImages>& handle)
{
    handle.update([](InlineImages& state) { state.requested = true; });
    if (!environment.inlineImageProvider)
        return;
    for (const RawImageData& data : images) {
        const auto url = imageURL(data.source, environment.imageBaseURL);
        if (!url)
            continue;
        environment.inlineImageProvider->image(
            *url, data.alt, [handle, source = data.source](const std::optional<QImage>& image, const QString&) {
                if (!image || image->isNull())
                    return;
                handle.update([source, kept = displayed(*image)](InlineImages& state) { state.images.insert(source, kept); });
            });
    }
}

// How the text of an inline text view is rendered and shown.
struct TextRendering {
    std::function<View(StyledText)> show;
    bool afterSoftBreak = false;

    View operator()(const std::vector<InlineNode>& inlines, const QHash<QString, QImage>& images,
                    const Environment& environment) const
    {
        TextInlineRenderer renderer(environment.baseURL, InlineTextStyles::of(environment.theme()), images,
                                    environment.softBreakMode, environment.textStyle.attributes());
        if (afterSoftBreak)
            renderer.continueAfterSoftBreak();
        renderer.renderInlines(inlines);
        return show(std::move(renderer).result());
    }
};

} // namespace

View InlineText(std::shared_ptr<const std::vector<InlineNode>> inlines, std::function<View(StyledText)> show,
                bool afterSoftBreak)
{
    const TextRendering rendered{std::move(show), afterSoftBreak};
    ImageSet images = topLevelImages(*inlines);
    if (images.empty()) {
        return EnvironmentReader([inlines = std::move(inlines), rendered](const Environment& environment) {
            return rendered(*inlines, {}, environment);
        });
    }
    return StatefulView<InlineImages>(
        {}, [inlines = std::move(inlines), images = std::move(images), rendered](
                const Environment& environment, const InlineImages& state, const StateHandle<InlineImages>& handle) {
            if (!state.requested)
                requestImages(images, environment, handle);
            return rendered(*inlines, state.images, environment);
        });
}

View InlineText(std::shared_ptr<const std::vector<InlineNode>> inlines)
{
    return InlineText(std::move(inlines), [](StyledText text) { return Text(std::move(text)); }, false);
}

View ImageView(const RawImageData& data)
{
    return EnvironmentReader([data](const Environment& environment) {
        View image = environment.imageProvider ? environment.imageProvider->makeImage(imageURL(data.source, environment.imageBaseURL))
                                               : EmptyView();
        InlineNode node = InlineNode::image(data.source.toStdString(), {InlineNode::text(data.alt.toStdString())});
        if (data.destination) {
            if (const auto url = linkURL(*data.destination, environment.baseURL))
                image = image.link(*url);
            node = InlineNode::link(data.destination->toStdString(), {std::move(node)});
        }
        const MarkdownContent content(std::vector<BlockNode>{BlockNode::paragraph({std::move(node)})});
        // Outside the link: a linked image reads the same as one without.
        return environment.theme().image.makeBody({image.accessibilityLabel(data.alt), content});
    });
}

std::optional<View> ImageView(const std::vector<InlineNode>& inlines)
{
    if (inlines.size() != 1)
        return std::nullopt;
    const auto data = imageData(inlines.front());
    if (!data)
        return std::nullopt;
    return ImageView(*data);
}

std::optional<std::vector<ImageFlowItem>> imageFlowItems(const std::vector<InlineNode>& inlines)
{
    std::vector<ImageFlowItem> items;
    for (const InlineNode& node : inlines) {
        if (const auto* text = node.as<InlineNode::Text>()) {
            if (!text->text.empty())
                return std::nullopt;
        } else if (node.is<InlineNode::SoftBreak>()) {
            continue;
        } else if (node.is<InlineNode::LineBreak>()) {
            items.push_back({});
        } else if (auto data = node.is<InlineNode::Image>() || node.is<InlineNode::Link>() ? imageData(node)
                                                                                          : std::nullopt) {
            items.push_back({std::move(*data)});
        } else {
            return std::nullopt;
        }
    }
    return items;
}

View ImageFlow(std::vector<ImageFlowItem> items)
{
    return TextStyleAttributesReader([items = std::move(items)](const AttributeContainer& attributes) {
        const double spacing = RelativeSize::rem(0.25).points(attributes.fontProperties);
        std::vector<View> children;
        children.reserve(items.size());
        for (const ImageFlowItem& item : items) {
            // A line break takes the rest of its row.
            children.push_back(item.image ? ImageView(*item.image) : Spacer().layoutPriority(-1));
        }
        return Flow(std::move(children), spacing, spacing);
    });
}

} // namespace mddoc
