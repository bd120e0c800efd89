#include "chat/ChatEventJson.h"
#include "chat/ClaudeChatProviderAdapter.h"
#include "chat/CodexChatProviderAdapter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QFile>

using namespace quillora::chat;
using Json = nlohmann::json;

namespace {

QString fixturePath(const char* name)
{
    return QStringLiteral(QUILLORA_CHAT_TESTS "/fixtures/") + QLatin1String(name);
}

QList<QByteArray> fixtureLines(const char* name)
{
    QFile file(fixturePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll().split('\n');
}

Json eventsJson(const QList<ChatProviderEvent>& events)
{
    Json list = Json::array();
    for (const ChatProviderEvent& event : events)
        list.push_back(Json::parse(eventJson(event).toStdString()));
    return list;
}

Json parsedJson(const ChatProviderAdapter& adapter, const QByteArray& line)
{
    return eventsJson(adapter.parseLine(std::string_view(line.constData(), std::size_t(line.size()))));
}

// Runs a case file: "# name", "< line", "> expected event"; every input line of a case must
// yield the expected events of the lines that follow it.
void runCases(const ChatProviderAdapter& adapter, const char* file)
{
    QByteArray caseName;
    QByteArray input;
    Json expected = Json::array();
    auto check = [&] {
        if (!input.isNull()) {
            EXPECT_EQ(parsedJson(adapter, input), expected) << caseName.constData() << "\n  line: " << input.constData();
        }
        input = QByteArray();
        expected = Json::array();
    };
    int cases = 0;
    for (const QByteArray& line : fixtureLines(file)) {
        if (line.startsWith("# ")) {
            check();
            caseName = line.mid(2);
            ++cases;
        } else if (line.startsWith("< ")) {
            check();
            input = line.mid(2);
        } else if (line.startsWith("> ")) {
            expected.push_back(Json::parse(line.mid(2).toStdString()));
        }
    }
    check();
    EXPECT_GT(cases, 10);
}

TEST(ClaudeAdapter, EventTable) { runCases(ClaudeChatProviderAdapter(), "claude-events.txt"); }
TEST(CodexAdapter, EventTable) { runCases(CodexChatProviderAdapter(), "codex-events.txt"); }

// What the tools print when they cannot reach their service.
TEST(ClaudeAdapter, NotLoggedInTurn)
{
    const ClaudeChatProviderAdapter adapter;
    QList<ChatProviderEvent> events;
    for (const QByteArray& line : fixtureLines("claude-not-logged-in.jsonl"))
        if (!line.isEmpty())
            events += adapter.parseLine(std::string_view(line.constData(), std::size_t(line.size())));
    const QList<ChatProviderEvent> expected{
        ChatProviderEvent::ThreadStarted{QStringLiteral("104696b0-84cc-4418-935a-0cba556e3209")},
        ChatProviderEvent::AssistantMessage{QStringLiteral("Not logged in · Please run /login")},
        ChatProviderEvent::TurnCompleted{}};
    EXPECT_EQ(events, expected);
}

TEST(CodexAdapter, OfflineTurnReportsEachReconnectAndNeverCompletes)
{
    const CodexChatProviderAdapter adapter;
    QStringList kinds;
    QStringList errors;
    for (const QByteArray& line : fixtureLines("codex-offline.jsonl")) {
        if (line.isEmpty())
            continue;
        for (const ChatProviderEvent& event : adapter.parseLine(std::string_view(line.constData(), std::size_t(line.size())))) {
            kinds.append(eventKind(event));
            if (const auto* error = event.as<ChatProviderEvent::ErrorDetails>())
                errors.append(error->text);
        }
    }
    EXPECT_EQ(kinds.first(), QStringLiteral("threadStarted"));
    EXPECT_FALSE(kinds.contains(QStringLiteral("turnCompleted")));
    EXPECT_EQ(kinds.count(QStringLiteral("errorDetails")), 7);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("Reconnecting... 2/5 (stream disconnected"))) << errors.first().toStdString();
}

TEST(Adapters, DeepAndHugeLinesAreBoundedAndNeverThrow)
{
    const ClaudeChatProviderAdapter claude;
    const CodexChatProviderAdapter codex;
    // Past 256 levels a line is not parsed at all; at 256 it is.
    const std::string deep = "{\"type\":\"assistant\",\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    const std::string limit = "{\"type\":\"assistant\",\"message\":" + std::string(254, '[') +
                              "{\"type\":\"text\",\"text\":\"deep\"}" + std::string(254, ']') + "}";
    const std::string huge = "{\"type\":\"item.completed\",\"item\":{\"type\":\"agent_message\",\"text\":\"" +
                             std::string(1 << 20, 'a') + "\"}}";
    for (const ChatProviderAdapter* adapter : {static_cast<const ChatProviderAdapter*>(&claude),
                                               static_cast<const ChatProviderAdapter*>(&codex)}) {
        const QList<ChatProviderEvent> events = adapter->parseLine(deep);
        ASSERT_EQ(events.size(), 1);
        ASSERT_TRUE(events[0].as<ChatProviderEvent::AssistantMessage>());
        EXPECT_EQ(events[0].as<ChatProviderEvent::AssistantMessage>()->text.size(), qsizetype(deep.size()));
        // Malformed numbers, escapes and surrogates fail to parse quietly.
        for (const char* bad : {"{\"type\":1e99999}", "{\"type\":\"\\ud800\"}", "{\"type\":\"a\\q\"}", "{\"a\":-}"})
            EXPECT_EQ(adapter->parseLine(bad).size(), 1) << bad;
    }
    const QList<ChatProviderEvent> atLimit{ChatProviderEvent::AssistantMessage{QStringLiteral("deep")}};
    EXPECT_EQ(claude.parseLine(limit), atLimit);
    const QList<ChatProviderEvent> events = codex.parseLine(huge);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].as<ChatProviderEvent::AssistantMessage>()->text.size(), 1 << 20);
}

TEST(Adapters, ArgumentLists)
{
    const ClaudeChatProviderAdapter claude;
    const CodexChatProviderAdapter codex;
    const QString folder = QStringLiteral("/home/u/My Project");
    const auto resume = ChatSessionMode::resume(QStringLiteral("5b0f-11"));
    const QStringList claudeNew{"--print", "--verbose", "--output-format", "stream-json", "-", "--permission-mode", "acceptEdits"};
    EXPECT_EQ(claude.arguments(ChatSessionMode::newSession(), std::nullopt), claudeNew);
    const QStringList claudeInFolder = claudeNew + QStringList{"--add-dir", folder};
    EXPECT_EQ(claude.arguments(ChatSessionMode::newSession(), folder), claudeInFolder);
    const QStringList claudeResume = QStringList{"--resume", "5b0f-11"} + claudeNew + QStringList{"--add-dir", folder};
    EXPECT_EQ(claude.arguments(resume, folder), claudeResume);

    const QStringList codexNew{"exec", "--color", "never", "--skip-git-repo-check", "--json", "-"};
    EXPECT_EQ(codex.arguments(ChatSessionMode::newSession(), folder), codexNew);
    const QStringList codexResume{"exec", "resume", "5b0f-11", "--skip-git-repo-check", "--json", "-"};
    EXPECT_EQ(codex.arguments(resume, folder), codexResume);

    // An identifier that could be read as an option, or that is not one printable line, starts
    // a new session instead.
    for (const QString& unsafe : {QStringLiteral("--dangerously-skip-permissions"), QStringLiteral("a\nb"), QString(),
                                  QString(257, QLatin1Char('a')), QStringLiteral("a\x01")}) {
        EXPECT_EQ(claude.arguments(ChatSessionMode::resume(unsafe), std::nullopt), claudeNew) << unsafe.toStdString();
        EXPECT_EQ(codex.arguments(ChatSessionMode::resume(unsafe), std::nullopt), codexNew) << unsafe.toStdString();
    }
    EXPECT_EQ(codex.arguments(ChatSessionMode::resume(QString(256, QLatin1Char('a'))), std::nullopt)[2].size(), 256);
}

} // namespace
