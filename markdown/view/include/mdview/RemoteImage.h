#pragma once

#include "mdview/Transaction.h"
#include "mdview/View.h"

#include "remoteimage/RemoteImageModel.h"

#include <QImage>
#include <QUrl>

#include <functional>
#include <optional>

namespace mdview {

using remoteimage::RemoteImageState;

// What an image view shows for each loading state.
using RemoteImageContent = std::function<View(const RemoteImageState&)>;
using LoadedImageContent = std::function<View(const QImage&)>;
using StateViewBuilder = std::function<View()>;

// A view of the image at `url`, `scale` image pixels to a point, loaded through the
// environment's image loader. Its model lives as long as this view value: building the value
// again shows the current state and loads nothing new. No URL never loads. When the state
// changes, the built content follows and its host lays out again. A loaded image comes in with
// the transaction's animation; a failure always shows at once.
View RemoteImage(std::optional<QUrl> url, qreal scale, RemoteImageContent content, Transaction transaction = {});
// The image itself once loaded, the default placeholder until then and on failure.
View RemoteImage(std::optional<QUrl> url, qreal scale = 1);

// Grey fill stretched over the space offered: stands for an image not (yet) shown.
View RemoteImagePlaceholder();

// Content for a success through `content` (by default the image itself at its ideal size; a custom
// `content` gets the image's pixels as loaded and sizes it itself) and the default
// placeholder for the other states.
RemoteImageContent imageOrPlaceholder(LoadedImageContent content = {});
// Content for a success through `content` and `placeholder` for the other states.
RemoteImageContent imageOrPlaceholder(LoadedImageContent content, StateViewBuilder placeholder);
// Content for a success through `content`, `placeholder` while empty and `fallback` on failure.
RemoteImageContent imageOrFallback(LoadedImageContent content, StateViewBuilder placeholder,
                                   StateViewBuilder fallback);

} // namespace mdview
