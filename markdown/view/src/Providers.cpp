#include "mdview/Providers.h"

#include "mdview/RemoteImage.h"

#include "remoteimage/RemoteImageLoader.h"

#include <QDir>
#include <QImageReader>

namespace mdview {

std::optional<QString> AssetImageNaming::pathFor(const QUrl& url) const
{
    const QString imageName = name(url);
    if (imageName.isEmpty() || imageName == QLatin1String(".") || imageName == QLatin1String("..")
        || imageName.contains(QLatin1Char('/')) || imageName.contains(QLatin1Char('\\')))
        return std::nullopt;
    const QString folder = bundle.value_or(QStringLiteral(":/images"));
    return QDir(folder).filePath(imageName);
}

View DefaultImageProvider::makeImage(const std::optional<QUrl>& url) const
{
    return RemoteImage(url, 1, [](const RemoteImageState& state) {
        if (state.kind() == RemoteImageState::Kind::Success)
            return ResizeToFit(Image(state.image(), true));
        return ColorView(Color::clear()).frame(0, 0);
    });
}

void DefaultInlineImageProvider::image(const QUrl& url, const QString&, Done done) const
{
    remoteimage::DefaultRemoteImageLoader::shared().image(
        url, nullptr, [done = std::move(done)](const remoteimage::RemoteImageResult& result) {
            if (result.isSuccess())
                done(result.image(), QString());
            else
                done(std::nullopt, result.error().message);
        });
}

View AssetImageProvider::makeImage(const std::optional<QUrl>& url) const
{
    if (!url)
        return EmptyView();
    const auto path = m_naming.pathFor(*url);
    if (!path)
        return EmptyView();
    QImageReader reader(*path);
    const QImage image = reader.read();
    if (image.isNull())
        return EmptyView();
    return ResizeToFit(Image(image, true));
}

void AssetInlineImageProvider::image(const QUrl& url, const QString&, Done done) const
{
    const auto path = m_naming.pathFor(url);
    QImage image;
    if (path)
        image = QImageReader(*path).read();
    done(image, QString());
}

std::shared_ptr<const ImageProvider> ImageProvider::defaultProvider()
{
    return std::make_shared<DefaultImageProvider>();
}

std::shared_ptr<const ImageProvider> ImageProvider::asset()
{
    return std::make_shared<AssetImageProvider>();
}

std::shared_ptr<const InlineImageProvider> InlineImageProvider::defaultProvider()
{
    return std::make_shared<DefaultInlineImageProvider>();
}

std::shared_ptr<const InlineImageProvider> InlineImageProvider::asset()
{
    return std::make_shared<AssetInlineImageProvider>();
}

std::shared_ptr<const CodeSyntaxHighlighter> CodeSyntaxHighlighter::plainText()
{
    return std::make_shared<PlainTextCodeSyntaxHighlighter>();
}

} // namespace mdview
