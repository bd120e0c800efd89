#include "window/DocumentLoadThread.h"

#include <platform/FreedMemory.h>

#include <QCoreApplication>

namespace quillora {

DocumentLoadThread& DocumentLoadThread::shared()
{
    static DocumentLoadThread thread;
    return thread;
}

DocumentLoadThread::DocumentLoadThread()
    : m_thread([this] { loop(); })
{
}

DocumentLoadThread::~DocumentLoadThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_one();
    m_thread.join();
}

void DocumentLoadThread::run(std::function<void()> load)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_application) {
            m_application = QCoreApplication::instance();
            qAddPostRoutine(&DocumentLoadThread::forgetApplication);
        }
        m_queue.push_back(std::move(load));
    }
    m_wake.notify_one();
}

void DocumentLoadThread::deliver(std::function<void()> delivery)
{
    // Under the lock, so that the application object cannot start going while it is posted to.
    std::lock_guard lock(m_mutex);
    if (m_application)
        QMetaObject::invokeMethod(m_application, std::move(delivery), Qt::QueuedConnection);
}

bool DocumentLoadThread::isBusy() const
{
    std::lock_guard lock(m_mutex);
    return m_loading || !m_queue.empty();
}

void DocumentLoadThread::forgetApplication()
{
    DocumentLoadThread& thread = shared();
    std::lock_guard lock(thread.m_mutex);
    thread.m_application = nullptr;
    thread.m_queue.clear();
}

void DocumentLoadThread::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        std::function<void()> load = std::move(m_queue.front());
        m_queue.pop_front();
        m_loading = true;
        lock.unlock();
        load();
        load = nullptr; // what it still held, freed before the trim
        platform::giveFreedMemoryBack();
        lock.lock();
        m_loading = false;
    }
}

} // namespace quillora
