#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class QCoreApplication;

namespace quillora {

// The one thread the file viewer's loads run on, one after another, for the whole run. A load
// makes its buffers and its document in this thread's heap, which the next load reuses and which
// is trimmed after each load: on the threads of the shared pool, each load left what it freed in
// the heap of whichever thread ran it. Nothing waits for a load at quit: it cannot be cut short
// and can take seconds, so its result is dropped once the application object goes, and the
// process may end while it runs.
class DocumentLoadThread {
public:
    static DocumentLoadThread& shared();
    ~DocumentLoadThread();
    DocumentLoadThread(const DocumentLoadThread&) = delete;
    DocumentLoadThread& operator=(const DocumentLoadThread&) = delete;

    // Queues `load` behind those queued before it. Main thread.
    void run(std::function<void()> load);
    // Hands `delivery` to the main thread's event loop; once the application object is going,
    // drops it instead. From a load.
    void deliver(std::function<void()> delivery);
    // A load is running or waiting to run.
    bool isBusy() const;

private:
    DocumentLoadThread();
    void loop();
    static void forgetApplication();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_loading = false;
    bool m_stopping = false;
    QCoreApplication* m_application = nullptr; // where deliveries go, until it starts going
    std::thread m_thread;
};

} // namespace quillora
