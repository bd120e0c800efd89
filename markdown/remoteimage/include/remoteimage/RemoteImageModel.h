#pragma once

#include "remoteimage/RemoteImageLoader.h"

#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QUrl>

#include <memory>
#include <optional>

namespace remoteimage {

// What to show: an image URL and how many image pixels make one layout point.
struct ImageSource {
    QUrl url;
    qreal scale = 1;

    friend bool operator==(const ImageSource& a, const ImageSource& b)
    {
        return a.url == b.url && a.scale == b.scale;
    }
};

// The loading state of one shown image.
class RemoteImageState {
public:
    enum class Kind { Empty, Success, Failure };

    // Nothing loaded yet for the current source.
    static RemoteImageState empty() { return RemoteImageState(Kind::Empty); }
    // A loaded image and its size in layout points.
    static RemoteImageState success(const QImage& image, QSizeF idealSize);
    // The last load failed.
    static RemoteImageState failure() { return RemoteImageState(Kind::Failure); }

    Kind kind() const { return m_kind; }
    // The image of a success, with the source's scale as its device pixel ratio; a null image
    // otherwise.
    QImage image() const { return m_image; }
    QSizeF idealSize() const { return m_idealSize; }

    // Successes are equal when they show the same image data at the same size.
    friend bool operator==(const RemoteImageState& a, const RemoteImageState& b)
    {
        return a.m_kind == b.m_kind && a.m_image.cacheKey() == b.m_image.cacheKey() && a.m_idealSize == b.m_idealSize;
    }

private:
    explicit RemoteImageState(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    QImage m_image;
    QSizeF m_idealSize;
};

// The source an image view shows and its loading state. Used on the thread it lives in.
class RemoteImageModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<remoteimage::ImageSource> source READ source NOTIFY sourceChanged)
    Q_PROPERTY(remoteimage::RemoteImageState image READ image NOTIFY imageChanged)
public:
    explicit RemoteImageModel(QObject* parent = nullptr);

    std::optional<ImageSource> source() const { return m_source; }
    RemoteImageState image() const { return m_image; }

    // The loader later loads go to; null (the default) stands for the shared loader.
    const std::shared_ptr<RemoteImageLoader>& imageLoader() const { return m_imageLoader; }
    void setImageLoader(std::shared_ptr<RemoteImageLoader> loader) { m_imageLoader = std::move(loader); }

    // Shows `source`: a different source is loaded, while the current state stays until its
    // outcome arrives. No source keeps the state as it is. An outcome for a source that is no
    // longer current is dropped. A scale that is not a positive number counts as 1.
    void update(std::optional<ImageSource> source);

signals:
    void sourceChanged();
    void imageChanged();

private:
    void loadImage(const ImageSource& source);
    void setImage(const RemoteImageState& image);

    std::optional<ImageSource> m_source;
    RemoteImageState m_image = RemoteImageState::empty();
    std::shared_ptr<RemoteImageLoader> m_imageLoader;
};

} // namespace remoteimage
