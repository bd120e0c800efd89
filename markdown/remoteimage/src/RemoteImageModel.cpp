#include "remoteimage/RemoteImageModel.h"

#include <cmath>

namespace remoteimage {

RemoteImageState RemoteImageState::success(const QImage& image, QSizeF idealSize)
{
    RemoteImageState state(Kind::Success);
    state.m_image = image;
    state.m_idealSize = idealSize;
    return state;
}

RemoteImageModel::RemoteImageModel(QObject* parent)
    : QObject(parent)
{
}

void RemoteImageModel::update(std::optional<ImageSource> source)
{
    // A scale that is not a positive number would give an infinite, negative or NaN size (and a
    // NaN scale would never equal itself); it counts as 1.
    if (source && !(std::isfinite(source->scale) && source->scale > 0))
        source->scale = 1;
    if (source == m_source)
        return;
    m_source = source;
    emit sourceChanged();
    if (m_source)
        loadImage(*m_source);
}

void RemoteImageModel::loadImage(const ImageSource& source)
{
    RemoteImageLoader& loader = m_imageLoader ? *m_imageLoader : DefaultRemoteImageLoader::shared();
    loader.image(source.url, this, [this, source](const RemoteImageResult& result) {
        if (source != m_source)
            return;
        if (!result.isSuccess()) {
            setImage(RemoteImageState::failure());
            return;
        }
        // The cached image is shared as it is (setting its pixel ratio would copy it outside the
        // cache budget); the ideal size carries the scale and the view draws at it.
        const QImage image = result.image();
        setImage(RemoteImageState::success(image, QSizeF(image.size()) / source.scale));
    });
}

void RemoteImageModel::setImage(const RemoteImageState& image)
{
    if (image == m_image)
        return;
    m_image = image;
    emit imageChanged();
}

} // namespace remoteimage
