#include "ImageDecoding.h"

#include "remoteimage/RemoteImageLoader.h"

#include <QBuffer>
#include <QImageReader>

namespace remoteimage {

namespace {

RemoteImageError undecodable(const QString& message)
{
    return {RemoteImageError::Code::CannotDecodeContentData, QNetworkReply::NoError, message};
}

// The formats documents use. Other installed plugins (TGA, WBMP, ...) recognise too much as
// theirs, and compressed SVG could inflate without bound, so they are not offered bytes.
bool isAcceptedFormat(const QByteArray& format)
{
    return format == "png" || format == "jpeg" || format == "gif" || format == "svg" || format == "webp";
}

} // namespace

RemoteImageResult decodeImage(const QByteArray& body)
{
    if (body.isEmpty())
        return undecodable(QStringLiteral("The response body is empty."));

    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (!isAcceptedFormat(format))
        return undecodable(QStringLiteral("The response body is not an image."));

    QImageReader reader(&buffer, format);
    // The decoder itself refuses more than the budget, also where the header gives no size.
    reader.setAllocationLimit(int(RemoteImageLimits::maxImageBytes >> 20));
    const QSize size = reader.size();
    constexpr qint64 maxPixels = RemoteImageLimits::maxImageBytes / 4;
    if (size.isValid() && qint64(size.width()) * size.height() > maxPixels)
        return undecodable(QStringLiteral("The image is too large."));

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return undecodable(reader.errorString());
    if (image.sizeInBytes() > RemoteImageLimits::maxImageBytes)
        return undecodable(QStringLiteral("The image is too large."));
    return image;
}

} // namespace remoteimage
