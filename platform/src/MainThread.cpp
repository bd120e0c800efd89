#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QThread>

namespace platform {

bool isMainThread()
{
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOnThreadOf(QObject* context, std::function<void()> work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace platform
