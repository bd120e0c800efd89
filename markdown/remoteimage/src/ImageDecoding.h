#pragma once

#include "remoteimage/RemoteImageResult.h"

#include <QByteArray>

namespace remoteimage {

// Decodes the first image of `body` within the loader's limits. Safe on any thread.
RemoteImageResult decodeImage(const QByteArray& body);

} // namespace remoteimage
