#include "chat/ChatModels.h"

#include <gtest/gtest.h>

using namespace quillora::chat;

namespace {

TEST(ChatProvider, RawValuesAreExactAndCodexComesFirst)
{
    EXPECT_EQ(chatProviderFromRawValue(QStringLiteral("codex")), ChatProvider::codex);
    EXPECT_EQ(chatProviderFromRawValue(QStringLiteral("claude")), ChatProvider::claude);
    for (const char* other : {"Claude", " codex", "codex ", "", "gpt"})
        EXPECT_FALSE(chatProviderFromRawValue(QString::fromLatin1(other))) << other;
    EXPECT_EQ(allChatProviders[0], ChatProvider::codex);
    EXPECT_EQ(displayName(ChatProvider::claude), QStringLiteral("Claude"));
    EXPECT_EQ(rawValue(ChatProvider::codex), QStringLiteral("codex"));
}

TEST(ChatMessageModel, ToolResultKeepsIdentityAndClearsFlags)
{
    ChatMessageModel call;
    call.id = QUuid::createUuid();
    call.role = ChatMessageRole::tool;
    call.content = QStringLiteral("{\"command\":\"make\"}");
    call.timestamp = QDateTime::currentDateTime();
    call.isPending = call.isThinking = call.isParsingError = call.isProcessing = true;
    call.toolInvocationID = QStringLiteral("t1");
    call.toolLabel = QStringLiteral("Bash make");

    const ChatMessageModel done = call.updatingToolResult(QStringLiteral(" ok\n"));
    EXPECT_EQ(done.id, call.id);
    EXPECT_EQ(done.timestamp, call.timestamp);
    EXPECT_EQ(done.toolInvocationID, call.toolInvocationID);
    EXPECT_EQ(done.toolLabel, call.toolLabel);
    EXPECT_EQ(done.content, QStringLiteral(" ok\n"));
    EXPECT_TRUE(done.toolHasResult);
    EXPECT_FALSE(done.isPending || done.isThinking || done.isParsingError || done.isProcessing);

    const ChatMessageModel blank = call.updatingToolResult(QStringLiteral(" \n\n "));
    EXPECT_EQ(blank.content, QStringLiteral(" \n\n "));
    EXPECT_FALSE(blank.toolHasResult);

    ChatMessageModel other = done;
    other.id = QUuid::createUuid();
    EXPECT_NE(other, done);
    other.id = done.id;
    EXPECT_EQ(other, done);
}

TEST(ChatProviderEvent, EqualityComparesCaseAndPayload)
{
    using E = ChatProviderEvent;
    EXPECT_EQ(E(E::ToolUse{"a", "b", "c"}), E(E::ToolUse{"a", "b", "c"}));
    EXPECT_NE(E(E::ToolUse{"a", "b", "c"}), E(E::ServerToolUse{"a", "b", "c"}));
    EXPECT_NE(E(E::Thinking{"x"}), E(E::AssistantMessage{"x"}));
    EXPECT_EQ(E(E::TurnCompleted{}), E(E::TurnCompleted{}));
}

TEST(SessionIdentifier, SafeOnlyWhenPrintableShortAndNotAnOption)
{
    EXPECT_TRUE(isSafeSessionID(QStringLiteral("019a25d9-4cf2-7001-9bf0-98eb2fbf43aa")));
    EXPECT_TRUE(isSafeSessionID(QStringLiteral("sessão 1 ✓")));
    EXPECT_TRUE(isSafeSessionID(QString(256, QLatin1Char('x'))));
    for (const QString& unsafe : {QString(), QStringLiteral("-x"), QStringLiteral("--resume"), QString(257, QLatin1Char('x')),
                                  QStringLiteral("a\tb"), QStringLiteral("a\u2028b"), QStringLiteral("a\u0000b")})
        EXPECT_FALSE(isSafeSessionID(unsafe)) << unsafe.toStdString();
}

} // namespace
