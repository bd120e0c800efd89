#include "FakeChatService.h"

#include <core/LogStore.h>
#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace chat_test;
using testsupport::waitUntil;
using E = ChatProviderEvent;

namespace {

const QString providerKey = QStringLiteral("quillora.settings.chatProvider");

// One message per line: role, flags, call id and label, then the content with line feeds shown.
QString describe(const ChatMessageModel& message)
{
    static const char* roles[] = {"user", "assistant", "tool", "system"};
    QString line = QLatin1String(roles[int(message.role)]);
    const std::pair<bool, const char*> flags[] = {{message.isThinking, "thinking"},
                                                  {message.isPending, "pending"},
                                                  {message.isParsingError, "parsingError"},
                                                  {message.isProcessing, "processing"},
                                                  {message.toolHasResult, "result"}};
    for (const auto& [set, name] : flags)
        if (set)
            line += QLatin1Char(' ') + QLatin1String(name);
    if (message.toolInvocationID)
        line += QStringLiteral(" [") + *message.toolInvocationID + QLatin1Char(']');
    if (message.toolLabel)
        line += QStringLiteral(" \"") + *message.toolLabel + QLatin1Char('"');
    return line + QStringLiteral(": ") + QString(message.content).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

bool logged(const QString& category, const QString& message)
{
    for (const auto& entry : quillora::LogStore::shared().entries())
        if (entry.category == category && entry.message == message)
            return true;
    return false;
}

class ChatViewModelTest : public ::testing::Test {
protected:
    void make(std::set<ChatProvider> tools = {ChatProvider::codex, ChatProvider::claude},
              std::optional<QString> stored = std::nullopt)
    {
        ASSERT_TRUE(dir.isValid());
        vm.reset();
        world = std::make_unique<FakeChatWorld>(dir.filePath(QStringLiteral("defaults-%1.json").arg(++made)),
                                                std::move(tools));
        if (stored)
            world->defaults->setString(providerKey, *stored);
        vm = std::make_unique<ChatViewModel>(world->viewModelServices());
        vm->setProcessingMessageDelay(std::chrono::milliseconds(20));
        vm->setWorkingDirectoryURL(QUrl::fromLocalFile(QStringLiteral("/project")));
    }

    // Starts a session and waits until it is ready; the service in use.
    FakeChatService& ready()
    {
        vm->startSession();
        EXPECT_TRUE(waitUntil([&] { return vm->isProcessReady(); })) << vm->statusText().toStdString();
        return *world->last();
    }

    // Sends a prompt through the composer's text.
    void type(const QString& text)
    {
        vm->setDraftMessage(text);
        vm->sendDraft();
    }

    QString transcript() const
    {
        QStringList lines;
        for (const ChatMessageModel& message : vm->messages())
            lines.append(describe(message));
        return lines.join(QLatin1Char('\n'));
    }

    QTemporaryDir dir;
    int made = 0;
    std::unique_ptr<FakeChatWorld> world;
    std::unique_ptr<ChatViewModel> vm;
};

// A turn as a script: the prompt, then events, pauses long enough for "Processing...", the
// user's Stop and the tool's exit.
struct Step {
    enum class Kind { event, pause, stop, exit } kind;
    std::optional<ChatProviderEvent> event;
    int status = 0;
};
Step ev(ChatProviderEvent event) { return {Step::Kind::event, std::move(event)}; }
const Step pause{Step::Kind::pause};
const Step stopTurn{Step::Kind::stop};
Step exitWith(int status) { return {Step::Kind::exit, std::nullopt, status}; }

struct TurnCase {
    const char* name;
    std::vector<Step> steps;
    const char* transcript;
    const char* state = "";       // "streaming", "error: ...", or both joined by "; "
};

class TurnScripts : public ChatViewModelTest, public ::testing::WithParamInterface<TurnCase> {};

TEST_P(TurnScripts, BuildTheTranscript)
{
    make();
    FakeChatService& service = ready();
    type(QStringLiteral("hi"));
    for (const Step& step : GetParam().steps) {
        switch (step.kind) {
        case Step::Kind::event: service.deliver(*step.event); break;
        case Step::Kind::pause: testsupport::spin(80); break;
        case Step::Kind::stop: vm->interrupt(); break;
        case Step::Kind::exit: service.exit(step.status); break;
        }
    }
    EXPECT_EQ(transcript().toStdString(), std::string(GetParam().transcript));
    QStringList state;
    if (vm->isStreaming())
        state.append(QStringLiteral("streaming"));
    if (vm->lastError())
        state.append(QStringLiteral("error: ") + *vm->lastError());
    EXPECT_EQ(state.join(QStringLiteral("; ")).toStdString(), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(
    ChatViewModel, TurnScripts,
    ::testing::Values(
        TurnCase{"AnswerReplacesProcessing",
                 {pause, ev(E::AssistantMessage{"Hello **there**"}), pause, ev(E::TurnCompleted{})},
                 "user: hi\nassistant: Hello **there**"},
        TurnCase{"ProcessingWaitsForSilence",
                 {pause},
                 "user: hi\nsystem processing: Processing...",
                 "streaming"},
        TurnCase{"TurnCompletedRemovesProcessingAndSchedulesNone",
                 {pause, ev(E::TurnCompleted{}), pause},
                 "user: hi"},
        TurnCase{"ToolResultCompletesTheCallInPlace",
                 {ev(E::ToolUse{"t1", "  Bash ", R"({"command":"make test"})"}), pause, ev(E::ToolResult{"t1", "ok"})},
                 "user: hi\ntool result [t1] \"Bash make test\": ok",
                 "streaming"},
        TurnCase{"ResultOfAnEarlierCallGetsARowOfItsOwn",
                 {ev(E::ToolUse{"t1", "Read", R"({"file_path":"/a/b/notes.md"})"}), ev(E::Thinking{"hmm"}),
                  ev(E::ToolResult{"t1", "# Notes"})},
                 "user: hi\ntool result [t1] \"Read notes.md\": {\"file_path\":\"/a/b/notes.md\"}\nsystem thinking: hmm\n"
                 "tool result [t1] \"Read notes.md (Result)\": # Notes",
                 "streaming"},
        TurnCase{"ResultOfAnUnknownCall",
                 {ev(E::ToolResult{"t9", " \n"})},
                 "user: hi\ntool [t9] \"Tool result (Result)\":  \\n",
                 "streaming"},
        TurnCase{"ServerToolUseIsAToolCall",
                 {ev(E::ServerToolUse{"s1", "web_search", R"({"query":" weather "})"}), pause},
                 "user: hi\ntool pending [s1] \"web_search weather\": {\"query\":\" weather \"}",
                 "streaming"},
        TurnCase{"ThinkingMessagesStayApartAndHoldOffProcessing",
                 {ev(E::Thinking{"a"}), ev(E::Thinking{"b"}), pause},
                 "user: hi\nsystem thinking: a\nsystem thinking pending: b",
                 "streaming"},
        TurnCase{"AnswerFinishesCallsAndThinking",
                 {ev(E::Thinking{"plan"}), ev(E::ToolUse{"t1", "Bash", "ls"}), ev(E::AssistantMessage{"done"})},
                 "user: hi\nsystem thinking: plan\ntool [t1] \"Bash ls\": ls\nassistant: done",
                 "streaming"},
        TurnCase{"EmptyAnswerAddsNothingABlankOneDoes",
                 {ev(E::AssistantMessage{""}), ev(E::AssistantMessage{" "}), ev(E::TurnCompleted{})},
                 "user: hi\nassistant:  "},
        TurnCase{"UnparsedOutputIsAParsingError",
                 {ev(E::UnparsedOutput{"partial answer"}), ev(E::AssistantMessage{"still here"})},
                 "user: hi\nsystem parsingError: partial answer\nassistant: still here",
                 "streaming"},
        TurnCase{"ErrorDetailsAddNoMessageAndNoBanner",
                 {ev(E::ErrorDetails{"warning"}), pause},
                 "user: hi\nsystem processing: Processing...",
                 "streaming"},
        TurnCase{"ExitEndsWhatIsOpenAndReportsAFailure",
                 {ev(E::Thinking{"t"}), ev(E::ToolUse{"t1", "Bash", "make"}), exitWith(2)},
                 "user: hi\nsystem thinking: t\ntool [t1] \"Bash make\": make",
                 "error: Codex exited unexpectedly."},
        TurnCase{"ExitZeroWithoutTurnEndIsQuiet",
                 {ev(E::AssistantMessage{"a"}), exitWith(0)},
                 "user: hi\nassistant: a"},
        TurnCase{"FailureExitAfterAFinishedAnswerIsNotAnError",
                 {ev(E::AssistantMessage{"Not logged in \u00b7 Please run /login"}), ev(E::TurnCompleted{}), exitWith(1)},
                 "user: hi\nassistant: Not logged in \u00b7 Please run /login"},
        TurnCase{"StopEndsTheTurnDropsWhatFollowsAndItsExitIsNoError",
                 {ev(E::ToolUse{"t1", "Bash", "sleep 9"}), stopTurn, ev(E::AssistantMessage{"Interrupted"}),
                  ev(E::ToolResult{"t1", "late"}), ev(E::UnparsedOutput{"^C"}), ev(E::TurnCompleted{}), exitWith(130)},
                 "user: hi\ntool [t1] \"Bash sleep 9\": sleep 9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChatViewModelTest, ToolLabelsSummariseTheInput)
{
    const struct {
        const char* name;
        const char* input;
        const char* label;
    } cases[] = {
        {"Read", R"({"file_path":"/a/b/notes.md"})", "Read notes.md"},
        {" Bash\n", R"({"command":"ls -la"})", "Bash ls -la"},
        {"LS", R"({"path":"src/"})", "LS src"},
        {"LS", R"({"path":"/"})", "LS /"},
        {"Grep", R"({"file_path":"  ","pattern":"main"})", "Grep main"},
        {"Grep", R"({"path":7,"query":"","pattern":" x "})", "Grep x"},
        {"Fetch", R"({"url":"https://example.com"})", "Fetch https://example.com"},
        {"Edit", "first line\nsecond line", "Edit first line"},
        {"Edit", "\r\n\u2028 one\u2029two", "Edit one"},
        {"Count", R"({"n":3})", R"(Count {"n":3})"},
        {"Empty", "{}", "Empty {}"},
        {"Array", "[1,2]", "Array [1,2]"},
        {"Bare", "   ", "Bare"},
        {"", R"({"command":"make"})", " make"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChatViewModel::toolLabel(QString::fromUtf8(c.name), QString::fromUtf8(c.input)).toStdString(), c.label)
            << c.input;
}

TEST_F(ChatViewModelTest, SendingPassesThePromptFolderAndSession)
{
    make();
    FakeChatService& service = ready();
    type(QStringLiteral("  hi \n"));
    EXPECT_EQ(vm->draftMessage(), QString());
    service.deliver(E::ThreadStarted{"s1"});
    service.deliver(E::TurnCompleted{});
    service.exit(0);
    EXPECT_EQ(vm->statusText(), QStringLiteral("Ready \u2022 SessionId: s1"));
    type(QStringLiteral("again"));
    EXPECT_EQ(service.calls, (QStringList{QStringLiteral("start"), QStringLiteral("send hi\\n in /project new"),
                                          QStringLiteral("send again\\n in /project resume s1")}));
    // A failed turn drops the session: the next one starts afresh.
    service.exit(1);
    EXPECT_EQ(vm->currentSessionMode().resumeSessionID, std::nullopt);
    EXPECT_TRUE(logged(QStringLiteral("ChatViewModel"), QStringLiteral("Codex exited unexpectedly. (exit code: 1)")));

    // Blank drafts are not sent and keep their text.
    vm->setDraftMessage(QStringLiteral(" \n\t"));
    EXPECT_FALSE(vm->canSend());
    vm->sendDraft();
    EXPECT_EQ(vm->draftMessage(), QStringLiteral(" \n\t"));
    EXPECT_EQ(service.calls.size(), 3);
}

TEST_F(ChatViewModelTest, RefusedSendsKeepTheDraftAndSayWhy)
{
    make();
    FakeChatService& service = ready();
    const struct {
        ChatLaunchResult answer;
        const char* error;
    } cases[] = {
        {ChatLaunchResult::busy, "The previous reply is still ending. Send again once it has stopped."},
        {ChatLaunchResult::notStarted, "The chat session is not ready. Press Retry to start it."},
        {ChatLaunchResult::failed, "Failed to launch Codex."},
    };
    for (const auto& c : cases) {
        service.sendAnswer = c.answer;
        type(QStringLiteral("keep me"));
        EXPECT_EQ(vm->draftMessage(), QStringLiteral("keep me"));
        EXPECT_EQ(vm->lastError(), QString::fromUtf8(c.error));
        EXPECT_TRUE(vm->messages().isEmpty());
        EXPECT_FALSE(vm->isStreaming());
    }
    // The failed launch's reason and end follow: the reason lands in the details, the banner
    // keeps naming the launch.
    service.deliver(E::ErrorDetails{"chdir: No such file or directory"});
    service.exit(1);
    EXPECT_EQ(vm->lastError(), QStringLiteral("Failed to launch Codex."));
    EXPECT_EQ(vm->errorDetails(), QStringLiteral("chdir: No such file or directory"));
}

TEST_F(ChatViewModelTest, SendingStaysOffUntilAStoppedToolHasExited)
{
    make();
    FakeChatService& service = ready();
    type(QStringLiteral("long job"));
    EXPECT_FALSE(vm->canSend());
    service.deliver(E::ThreadStarted{"s-1"});
    vm->interrupt();
    EXPECT_FALSE(vm->isStreaming());
    EXPECT_TRUE(vm->isStopping());
    EXPECT_EQ(vm->statusText(), QStringLiteral("Stopping\u2026")) << "the reason Send is off";
    vm->setDraftMessage(QStringLiteral("next"));
    EXPECT_FALSE(vm->canSend()) << "the tool is still ending";
    int changes = 0;
    QObject::connect(vm.get(), &ChatViewModel::canSendChanged, [&] { ++changes; });
    service.exit(130);
    EXPECT_TRUE(vm->canSend());
    EXPECT_FALSE(vm->isStopping());
    EXPECT_EQ(vm->statusText(), QStringLiteral("Ready \u2022 SessionId: s-1"));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(vm->lastError());
    EXPECT_TRUE(service.calls.contains(QStringLiteral("interrupt")));
}

TEST_F(ChatViewModelTest, ErrorDetailsAreSeparatedAndBounded)
{
    make();
    FakeChatService& service = ready();
    type(QStringLiteral("hi"));
    service.deliver({E::ErrorDetails{"Reconnecting... 1/5"}, E::ErrorDetails{"Reconnecting... 2/5"},
                     E::ErrorDetails{"trace: a", true}, E::ErrorDetails{"bc\ntrace: d", true}, E::ErrorDetails{"", false},
                     E::ErrorDetails{"Reconnecting... 3/5"}, E::ErrorDetails{"last\n", true}});
    EXPECT_EQ(vm->errorDetails(),
              QStringLiteral("Reconnecting... 1/5\nReconnecting... 2/5\ntrace: abc\ntrace: d\nReconnecting... 3/5\nlast\n"));

    // A chatty tool: only the newest 64 Ki characters, from the start of a line.
    const QString line = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef012345678\n");
    for (int i = 0; i < 3000; ++i)
        service.deliver(E::ErrorDetails{QStringLiteral("%1 ").arg(i, 4, 10, QLatin1Char('0')) + line, true});
    const QString details = vm->errorDetails().value_or(QString());
    EXPECT_LE(details.size(), ChatViewModel::maxErrorDetails);
    EXPECT_GT(details.size(), ChatViewModel::maxErrorDetails - 5 - line.size());
    EXPECT_TRUE(details.endsWith(QStringLiteral("2999 ") + line));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4} 0123")).match(details).hasMatch()) << "whole lines only";

    // The next turn gathers its own.
    service.exit(0);
    type(QStringLiteral("again"));
    EXPECT_FALSE(vm->errorDetails());
}

TEST_F(ChatViewModelTest, ChoosingTheProviderWhenTheSessionStarts)
{
    const struct {
        const char* name;
        std::set<ChatProvider> installed;
        std::optional<QString> stored;
        ChatProvider selected;
        std::optional<QString> storedAfter;
        const char* error;
    } cases[] = {
        {"unknown value counts as none", {ChatProvider::codex, ChatProvider::claude}, QStringLiteral("gpt"), ChatProvider::codex,
         QStringLiteral("codex"), ""},
        {"stored choice kept", {ChatProvider::codex, ChatProvider::claude}, QStringLiteral("claude"), ChatProvider::claude,
         QStringLiteral("claude"), ""},
        {"only the other tool", {ChatProvider::codex}, QStringLiteral("claude"), ChatProvider::codex, QStringLiteral("codex"), ""},
        {"nothing stored, claude only", {ChatProvider::claude}, std::nullopt, ChatProvider::claude, QStringLiteral("claude"), ""},
        {"no tool at all", {}, std::nullopt, ChatProvider::codex, std::nullopt,
         "No supported CLI found. Install Codex or Claude and ensure one is available."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.installed, c.stored);
        const bool expectReady = std::string(c.error).empty();
        vm->startSession();
        ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady() || vm->lastError(); }));
        EXPECT_EQ(vm->isProcessReady(), expectReady);
        EXPECT_EQ(vm->selectedProvider(), c.selected);
        EXPECT_EQ(world->defaults->string(providerKey), c.storedAfter);
        EXPECT_EQ(vm->lastError().value_or(QString()).toStdString(), c.error);
        EXPECT_EQ(world->services.size(), expectReady ? 1u : 0u);
    }
    EXPECT_FALSE(logged(QStringLiteral("ChatViewModel"), QStringLiteral("Falling back to Codex")));
}

TEST_F(ChatViewModelTest, StartResultsAndTheirTexts)
{
    using Kind = ChatSessionStartResult::Kind;
    const struct {
        ChatSessionStartResult result;
        bool ready;
        const char* status;
        const char* log;
    } cases[] = {
        {ChatSessionStartResult::of(Kind::started), true, "Ready", "Session started successfully for Codex"},
        {ChatSessionStartResult::of(Kind::alreadyRunning), true, "Ready", nullptr},
        {ChatSessionStartResult::of(Kind::unavailable), false, "Failed to launch Codex.",
         "Session launch failed: Failed to launch Codex."},
        {ChatSessionStartResult::failed(QStringLiteral("no pipes")), false, "no pipes", "Session launch failed: no pipes"},
    };
    for (const auto& c : cases) {
        make({ChatProvider::codex});
        world->configure = [&](FakeChatService& service) { service.startAnswer = c.result; };
        vm->startSession();
        EXPECT_EQ(vm->statusText(), QStringLiteral("Connecting to Codex..."));
        ASSERT_TRUE(waitUntil([&] { return world->last() && !world->last()->startPending(); }));
        EXPECT_EQ(vm->isProcessReady(), c.ready);
        EXPECT_EQ(vm->statusText().toStdString(), c.status);
        if (c.log) {
            EXPECT_TRUE(logged(QStringLiteral("ChatViewModel"), QString::fromUtf8(c.log))) << c.log;
        }
    }
}

TEST_F(ChatViewModelTest, AStartWhileTheToolRunsChangesNothing)
{
    make();
    FakeChatService& service = ready();
    type(QStringLiteral("hi"));
    service.deliver(E::ErrorDetails{"x"});
    vm->startSession();
    testsupport::spin(50);
    EXPECT_EQ(service.calls.count(QStringLiteral("start")), 1);
    EXPECT_EQ(vm->errorDetails(), QStringLiteral("x"));
    // The running turn still reaches the transcript.
    service.deliver(E::AssistantMessage{"answer"});
    EXPECT_EQ(vm->messages().size(), 2);
}

TEST_F(ChatViewModelTest, FallingBackOnceToTheOtherProvider)
{
    make();
    using Kind = ChatSessionStartResult::Kind;
    world->configure = [](FakeChatService& service) {
        if (service.provider == ChatProvider::codex)
            service.startAnswer = ChatSessionStartResult::of(Kind::executableNotFound);
    };
    vm->switchProvider(ChatProvider::codex);
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    EXPECT_EQ(vm->selectedProvider(), ChatProvider::claude);
    EXPECT_EQ(world->defaults->string(providerKey), QStringLiteral("claude"));
    EXPECT_EQ(transcript(), QStringLiteral("system: Switched to Claude")) << "the notice names the provider in use";
    EXPECT_TRUE(logged(QStringLiteral("ChatViewModel"), QStringLiteral("Codex executable not found")));
    EXPECT_TRUE(logged(QStringLiteral("ChatViewModel"), QStringLiteral("Falling back to Claude")));

    // Neither tool starts: one move, then the error names the provider tried last.
    world->configure = [](FakeChatService& service) { service.startAnswer = ChatSessionStartResult::of(Kind::executableNotFound); };
    world->services.clear();
    vm->switchProvider(ChatProvider::codex);
    ASSERT_TRUE(waitUntil([&] { return vm->lastError().has_value(); }));
    testsupport::spin(100);
    EXPECT_EQ(vm->lastError(), QStringLiteral("Claude CLI not found. Install it and ensure it's on your PATH."));
    EXPECT_EQ(world->services.size(), 2u);
    EXPECT_EQ(vm->selectedProvider(), ChatProvider::claude);
    EXPECT_EQ(transcript(), QStringLiteral("system: Switched to Claude"));

    // No other tool to fall back on.
    make({ChatProvider::codex});
    world->configure = [](FakeChatService& service) { service.startAnswer = ChatSessionStartResult::of(Kind::executableNotFound); };
    vm->startSession();
    ASSERT_TRUE(waitUntil([&] { return vm->lastError().has_value(); }));
    EXPECT_EQ(vm->lastError(), QStringLiteral("Codex CLI not found. Install it and ensure it's on your PATH."));
}

TEST_F(ChatViewModelTest, SwitchingToAMissingToolNamesTheProviderUsed)
{
    make({ChatProvider::codex});
    ready();
    vm->switchProvider(ChatProvider::claude);
    EXPECT_EQ(transcript(), QStringLiteral("system: Switched to Claude"));
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    EXPECT_EQ(vm->selectedProvider(), ChatProvider::codex);
    EXPECT_EQ(transcript(), QStringLiteral("system: Switched to Codex"));

    // The provider in use again, with a service: nothing happens.
    const QUuid token = vm->streamingUpdateToken();
    const std::size_t made = world->services.size();
    vm->switchProvider(ChatProvider::codex);
    EXPECT_EQ(vm->streamingUpdateToken(), token);
    EXPECT_EQ(world->services.size(), made);
}

TEST_F(ChatViewModelTest, TheSessionLifecycle)
{
    make();
    FakeChatService& first = ready();
    type(QStringLiteral("hi"));
    first.deliver({E::ThreadStarted{"old"}, E::Thinking{"..."}});

    // New Chat: one notice, a new session, the old tool stopped.
    vm->resetChat();
    EXPECT_EQ(transcript(), QStringLiteral("system: New Chat"));
    EXPECT_FALSE(vm->isStreaming());
    EXPECT_FALSE(vm->currentSessionMode().isResume());
    EXPECT_TRUE(logged(QStringLiteral("ChatViewModel"), QStringLiteral("Resetting chat \u2014 starting new session")));
    ASSERT_TRUE(waitUntil([&] { return first.calls.count(QStringLiteral("start")) == 2; }));
    EXPECT_TRUE(first.calls.contains(QStringLiteral("stop")));

    // Whatever the old session still delivers is dropped: its identifier does not come back.
    first.staleEvent(E::ThreadStarted{"old"});
    first.staleEvent(E::AssistantMessage{"late"});
    first.staleTermination(1);
    EXPECT_FALSE(vm->currentSessionMode().isResume());
    EXPECT_EQ(transcript(), QStringLiteral("system: New Chat"));
    EXPECT_FALSE(vm->lastError());

    // Stop (the pane went away), then the same pane again.
    vm->stopSession();
    EXPECT_FALSE(vm->isProcessReady());
    EXPECT_EQ(vm->statusText(), QStringLiteral("Connecting to Codex..."));
    FakeChatService& again = ready();
    EXPECT_EQ(&again, &first) << "the service is kept across stop and start";
    EXPECT_EQ(transcript(), QStringLiteral("system: New Chat"));

    // A provider switch drops the old session's late events as well (the old service is gone;
    // its sink, as one still queued somewhere, is kept here).
    type(QStringLiteral("hello"));
    const ChatServiceProvider::EventSink oldSink = first.onEvent;
    vm->switchProvider(ChatProvider::claude);
    EXPECT_EQ(world->services.front(), nullptr) << "the old service is released";
    oldSink(E::ThreadStarted{"old-2"});
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    EXPECT_FALSE(vm->currentSessionMode().isResume());
    EXPECT_EQ(transcript(), QStringLiteral("system: Switched to Claude"));
    EXPECT_EQ(world->defaults->string(providerKey), QStringLiteral("claude"));
}

TEST_F(ChatViewModelTest, StaleStartsAreDropped)
{
    make();
    world->configure = [](FakeChatService& service) { service.startAnswer.reset(); };
    // A start still looking for the tool when the pane goes away applies nothing.
    world->tools->lookupDelayMs = 150;
    vm->startSession();
    vm->stopSession();
    testsupport::spin(300);
    EXPECT_TRUE(world->services.empty());
    world->tools->lookupDelayMs = 0;

    // Two starts in a row: the first one's answer is dropped; only the second counts.
    vm->startSession();
    ASSERT_TRUE(waitUntil([&] { return world->last() && world->last()->startPending(); }));
    FakeChatService& service = *world->last();
    vm->startSession();
    ASSERT_TRUE(waitUntil([&] { return service.calls.count(QStringLiteral("start")) == 2; }));
    service.supersededCompletion(ChatSessionStartResult::of(ChatSessionStartResult::Kind::started));
    EXPECT_FALSE(vm->isProcessReady());
    service.completeStart(ChatSessionStartResult::failed(QStringLiteral("no pipes")));
    EXPECT_EQ(vm->lastError(), QStringLiteral("no pipes"));

    // A start answered after the pane went away.
    vm->startSession();
    ASSERT_TRUE(waitUntil([&] { return service.calls.count(QStringLiteral("start")) == 3; }));
    vm->stopSession();
    service.supersededCompletion(ChatSessionStartResult::of(ChatSessionStartResult::Kind::started));
    EXPECT_FALSE(vm->isProcessReady());
}

TEST_F(ChatViewModelTest, TheServiceStopsWithTheViewModelAndAtQuit)
{
    make();
    ready();
    type(QStringLiteral("hi"));
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    EXPECT_EQ(world->journal->count(QStringLiteral("codex stop")), 1);
    vm.reset();
    EXPECT_EQ(world->journal->count(QStringLiteral("codex stop")), 2);
}

TEST_F(ChatViewModelTest, StatusText)
{
    make({ChatProvider::claude}, QStringLiteral("claude"));
    EXPECT_EQ(vm->statusText(), QStringLiteral("Connecting to Claude..."));
    FakeChatService& service = ready();
    EXPECT_EQ(vm->statusText(), QStringLiteral("Ready"));
    type(QStringLiteral("hi"));
    service.deliver(E::ThreadStarted{"abc"});
    EXPECT_EQ(vm->statusText(), QStringLiteral("Ready \u2022 SessionId: abc"));
    service.exit(3);
    EXPECT_EQ(vm->statusText(), QStringLiteral("Claude exited unexpectedly."));
    EXPECT_TRUE(vm->isProcessReady()) << "an exit leaves the session ready";
}

} // namespace
