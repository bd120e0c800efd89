#include "platform/FreedMemory.h"

#include <QCoreApplication>
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
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        pending = false;
        giveFreedMemoryBack();
    });
}

} // namespace platform
