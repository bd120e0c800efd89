#include "platform/FreedMemory.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>

#include <malloc.h>

namespace platform {

void giveFreedMemoryBack()
{
    malloc_trim(0);
}

void giveFreedMemoryBackSoon()
{
    static bool pending = false;
    if (pending)
        return;
    pending = true;
    // Off the main thread: handing back hundreds of megabytes takes a few hundred milliseconds.
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        pending = false;
        QThreadPool::globalInstance()->start(&giveFreedMemoryBack);
    });
}

} // namespace platform
