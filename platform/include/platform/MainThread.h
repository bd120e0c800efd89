#pragma once

#include <QObject>

#include <functional>

namespace platform {

// Whether the caller runs on the thread of the application object.
bool isMainThread();

// Runs `work` later on the thread of `context` (normally the main thread). When `context` is
// destroyed before the work runs, the work is dropped.
void runOnThreadOf(QObject* context, std::function<void()> work);

} // namespace platform
