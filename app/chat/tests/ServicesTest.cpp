#include "FakeTool.h"

#include "chat/ChatServices.h"

#include <core/LogStore.h>

using namespace chat_test;
using testsupport::waitUntil;

namespace {

// Resolvers that look only at one file each and never ask `which`.
ChatProviderResolverService resolversAt(const QString& codex, const QString& claude)
{
    ChatProviderResolverService resolvers;
    resolvers.codexResolver.resolver = {QStringLiteral("codex"), {codex}, QStringLiteral("CodexExecutableResolverService")};
    resolvers.claudeResolver.resolver = {QStringLiteral("claude"), {claude}, QStringLiteral("ClaudeExecutableResolverService")};
    resolvers.codexResolver.resolver.whichPath = QStringLiteral("/bin/false");
    resolvers.claudeResolver.resolver.whichPath = QStringLiteral("/bin/false");
    return resolvers;
}

int resolvingLines(const char* name)
{
    const QString message = QStringLiteral("Resolving ") + QLatin1String(name) + QStringLiteral(" executable");
    int count = 0;
    for (const auto& entry : quillora::LogStore::shared().entries())
        count += entry.message == message;
    return count;
}

TEST_F(FakeToolTest, ProviderSelectionAndFallback)
{
    const QString missing = dir.filePath(QStringLiteral("missing"));
    const ChatProviderResolverService onlyClaude = resolversAt(missing, tool);
    const ChatProviderResolverService both = resolversAt(tool, tool);
    const ChatProviderResolverService none = resolversAt(missing, missing);

    int codexTries = resolvingLines("codex");
    EXPECT_EQ(onlyClaude.resolveProvider(std::nullopt), ChatProvider::claude);
    EXPECT_EQ(resolvingLines("codex"), ++codexTries);
    EXPECT_EQ(both.resolveProvider(ChatProvider::claude), ChatProvider::claude);
    EXPECT_EQ(resolvingLines("codex"), codexTries);
    EXPECT_EQ(both.resolveProvider(std::nullopt), ChatProvider::codex);
    EXPECT_EQ(onlyClaude.resolveProvider(ChatProvider::codex), ChatProvider::claude);
    EXPECT_EQ(none.resolveProvider(ChatProvider::claude), std::nullopt);

    EXPECT_EQ(onlyClaude.fallbackProvider(ChatProvider::codex), ChatProvider::claude);
    EXPECT_EQ(onlyClaude.fallbackProvider(ChatProvider::claude), std::nullopt);
    EXPECT_EQ(both.fallbackProvider(ChatProvider::claude), ChatProvider::codex);
    EXPECT_EQ(none.fallbackProvider(ChatProvider::codex), std::nullopt);
}

TEST_F(FakeToolTest, FactoryServicesRunTurnsOfTheirTool)
{
    const ChatServiceFactory factory{resolversAt(dir.filePath(QStringLiteral("missing")), tool)};
    const std::unique_ptr<ChatServiceProvider> codex = factory.makeService(ChatProvider::codex);
    ASSERT_TRUE(dynamic_cast<CodexChatService*>(codex.get()));
    EXPECT_FALSE(codex->isRunning());
    codex->interrupt();
    codex->stop();
    std::optional<ChatSessionStartResult> result;
    codex->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->kind, ChatSessionStartResult::Kind::executableNotFound);

    const std::unique_ptr<ChatServiceProvider> claude = factory.makeService(ChatProvider::claude);
    ASSERT_TRUE(dynamic_cast<ClaudeChatService*>(claude.get()));
    QList<bool> running;
    QObject::connect(claude.get(), &ChatServiceProvider::runningChanged, [&](bool r) { running.append(r); });
    result.reset();
    claude->start(recorder.eventSink(), recorder.terminationSink(), [&](ChatSessionStartResult r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_EQ(result->kind, ChatSessionStartResult::Kind::started);
    qputenv("FAKE_TOOL_SCENARIO", "turn");
    ASSERT_EQ(claude->send(QStringLiteral("hi\n"), dir.path(), ChatSessionMode::newSession()), ChatLaunchResult::launched);
    EXPECT_TRUE(claude->isRunning());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(recorder.events.size(), 4);
    EXPECT_EQ(running, (QList<bool>{true, false}));
}

} // namespace
