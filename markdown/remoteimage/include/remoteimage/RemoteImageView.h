#pragma once

#include "remoteimage/RemoteImageModel.h"

#include "mdview/Providers.h"
#include "mdview/View.h"

#include <QUrl>

#include <functional>
#include <optional>

namespace remoteimage {

// What an image view shows for each loading state.
using RemoteImageContent = std::function<mdview::View(const RemoteImageState&)>;
using LoadedImageContent = std::function<mdview::View(const QImage&)>;
using StateViewBuilder = std::function<mdview::View()>;

// A view of the image at `url`, `scale` image pixels to a point, loaded through `loader` (the
// shared loader when null). Its model lives as long as this view value: building the value
// again shows the current state and loads nothing new. No URL never loads. When the state
// changes, the built content follows and its host lays out again.
mdview::View RemoteImage(std::optional<QUrl> url, qreal scale, RemoteImageContent content,
                         RemoteImageLoader* loader = nullptr);

// Grey fill stretched over the space offered: stands for an image not (yet) shown.
mdview::View RemoteImagePlaceholder();

// Content for a success through `content` (by default the image itself) and the default
// placeholder for the other states.
RemoteImageContent imageOrPlaceholder(LoadedImageContent content = {});
// Content for a success through `content` and `placeholder` for the other states.
RemoteImageContent imageOrPlaceholder(LoadedImageContent content, StateViewBuilder placeholder);
// Content for a success through `content`, `placeholder` while empty and `fallback` on failure.
RemoteImageContent imageOrFallback(LoadedImageContent content, StateViewBuilder placeholder,
                                   StateViewBuilder fallback);

// Block images as remote images at scale 1: the loaded image fitted to the width; nothing (a
// zero frame) until it is loaded or when loading failed.
class RemoteImageProvider final : public mdview::ImageProvider {
public:
    explicit RemoteImageProvider(RemoteImageLoader* loader = nullptr) : m_loader(loader) {}
    mdview::View makeImage(const std::optional<QUrl>& url) const override;

private:
    RemoteImageLoader* m_loader;
};

} // namespace remoteimage
