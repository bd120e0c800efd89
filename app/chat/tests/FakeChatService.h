#pragma once

// A chat service the test drives by hand, and view-model services over such services: which
// tools count as installed, and every service made, so that a test can play a tool's part.

#include "chat/ChatViewModel.h"

#include <QPointer>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace chat_test {

using namespace quillora::chat;

class FakeChatService final : public ChatServiceProvider {
public:
    explicit FakeChatService(ChatProvider provider) : provider(provider) {}

    bool isRunning() const override { return running; }

    void start(EventSink onEvent, TerminationSink onTermination, StartCompletion completion) override
    {
        note(QStringLiteral("start"));
        // As the core: a newer start supersedes a pending one. The superseded completion is
        // kept, so that a test can play it late.
        if (m_completion)
            supersededCompletion = std::move(m_completion);
        m_completion = std::move(completion);
        m_pendingEvent = std::move(onEvent);
        m_pendingTermination = std::move(onTermination);
        if (startAnswer)
            completeStart(*startAnswer);
    }

    // Answers the pending start.
    void completeStart(ChatSessionStartResult result)
    {
        if (!m_completion)
            return;
        if (result.kind == ChatSessionStartResult::Kind::started) {
            onEvent = std::move(m_pendingEvent);
            onTermination = std::move(m_pendingTermination);
        }
        std::exchange(m_completion, nullptr)(result);
    }
    bool startPending() const { return m_completion != nullptr; }

    ChatLaunchResult send(const QString& prompt, const std::optional<QString>& workingDirectory,
                          const ChatSessionMode& mode) override
    {
        note(QStringLiteral("send %1 in %2 %3")
                         .arg(QString(prompt).replace(QLatin1Char('\n'), QStringLiteral("\\n")), workingDirectory.value_or(QStringLiteral("-")),
                              mode.resumeSessionID ? QStringLiteral("resume ") + *mode.resumeSessionID
                                                   : QStringLiteral("new")));
        if (!onEvent)
            return ChatLaunchResult::notStarted;
        if (running)
            return ChatLaunchResult::busy;
        if (sendAnswer != ChatLaunchResult::launched)
            return sendAnswer;
        setRunning(true);
        return ChatLaunchResult::launched;
    }

    void interrupt() override { note(QStringLiteral("interrupt")); }

    void stop() override
    {
        note(QStringLiteral("stop"));
        // What a sloppy service might still deliver: kept so that a test can play it late.
        if (onEvent)
            staleEvent = onEvent;
        if (onTermination)
            staleTermination = onTermination;
        onEvent = nullptr;
        onTermination = nullptr;
        if (m_completion)
            supersededCompletion = std::exchange(m_completion, nullptr);
        setRunning(false);
    }

    void deliver(const ChatProviderEvent& event) const
    {
        if (onEvent)
            onEvent(event);
    }
    void deliver(const QList<ChatProviderEvent>& events) const
    {
        for (const ChatProviderEvent& event : events)
            deliver(event);
    }
    // The tool ends: running is false before the termination arrives, as with the core.
    void exit(int status)
    {
        setRunning(false);
        if (onTermination)
            onTermination(status);
    }

    void setRunning(bool value)
    {
        if (std::exchange(running, value) != value)
            emit runningChanged(value);
    }

    void note(const QString& call)
    {
        calls.append(call);
        if (journal)
            journal->append(rawValue(provider) + QLatin1Char(' ') + call);
    }

    const ChatProvider provider;
    // Outlives the service: every call of every service, named by provider.
    std::shared_ptr<QStringList> journal;
    // Answered at once when set; otherwise a start stays pending until completeStart.
    std::optional<ChatSessionStartResult> startAnswer = ChatSessionStartResult::of(ChatSessionStartResult::Kind::started);
    ChatLaunchResult sendAnswer = ChatLaunchResult::launched;
    bool running = false;
    QStringList calls;
    EventSink onEvent;
    TerminationSink onTermination;
    EventSink staleEvent;
    TerminationSink staleTermination;
    StartCompletion supersededCompletion;

private:
    StartCompletion m_completion;
    EventSink m_pendingEvent;
    TerminationSink m_pendingTermination;
};

// Services for a view model under test: the installed tools are a set the test changes, each
// question can be held back for a while, and every service made is kept in view.
struct FakeChatWorld {
    // What a tool lookup reads. Lookups run on the thread pool and may outlast the world (a
    // test ends while one is under way), so they share this rather than the world itself.
    struct Tools {
        std::mutex mutex;
        std::set<ChatProvider> installed;
        std::atomic<int> lookupDelayMs{0};
    };

    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<Tools> tools = std::make_shared<Tools>();
    std::vector<QPointer<FakeChatService>> services;
    std::shared_ptr<QStringList> journal = std::make_shared<QStringList>();
    // Applied to every new service before the view model sees it.
    std::function<void(FakeChatService&)> configure;

    explicit FakeChatWorld(const QString& defaultsFile, std::set<ChatProvider> installed = {ChatProvider::codex, ChatProvider::claude})
        : defaults(std::make_shared<platform::UserDefaults>(defaultsFile))
    {
        tools->installed = std::move(installed);
    }

    ChatViewModelServices viewModelServices()
    {
        ChatViewModelServices result;
        result.defaults = defaults;
        result.isInstalled = [tools = tools](ChatProvider provider) {
            if (const int delay = tools->lookupDelayMs.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            const std::lock_guard lock(tools->mutex);
            return tools->installed.count(provider) > 0;
        };
        result.makeService = [this](ChatProvider provider) {
            auto service = std::make_unique<FakeChatService>(provider);
            service->journal = journal;
            if (configure)
                configure(*service);
            services.emplace_back(service.get());
            return std::unique_ptr<ChatServiceProvider>(std::move(service));
        };
        return result;
    }

    // The newest service made, if it still exists.
    FakeChatService* last() const { return services.empty() ? nullptr : services.back().data(); }
};

} // namespace chat_test
