#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <optional>
#include <string_view>
#include <type_traits>
#include <variant>

namespace quillora::chat {

enum class ChatMessageRole { user, assistant, tool, system };

// The command-line tool behind the chat. The raw value is what the settings store keeps.
enum class ChatProvider { codex, claude };

// Every provider, in the order in which a search for a usable one walks them.
inline constexpr std::array<ChatProvider, 2> allChatProviders{ChatProvider::codex, ChatProvider::claude};

QString rawValue(ChatProvider provider);
// "Codex" or "Claude": the name shown to the user and written in log lines.
QString displayName(ChatProvider provider);
// Exactly "codex" or "claude"; anything else is no provider.
std::optional<ChatProvider> chatProviderFromRawValue(const QString& raw);

// One meaning taken from a line of a tool's output.
struct ChatProviderEvent {
    struct Thinking {
        QString text;
        bool operator==(const Thinking&) const = default;
    };
    // Answer text (Markdown), or an output line that was not a JSON event.
    struct AssistantMessage {
        QString text;
        bool operator==(const AssistantMessage&) const = default;
    };
    struct ToolUse {
        QString id;
        QString name;
        QString input;
        bool operator==(const ToolUse&) const = default;
    };
    struct ToolResult {
        QString toolUseID;
        QString content;
        bool operator==(const ToolResult&) const = default;
    };
    // A tool call that the provider's service ran itself.
    struct ServerToolUse {
        QString id;
        QString name;
        QString input;
        bool operator==(const ServerToolUse&) const = default;
    };
    // The identifier to resume the tool's session with.
    struct ThreadStarted {
        QString sessionID;
        bool operator==(const ThreadStarted&) const = default;
    };
    // Error text: an error event, a failed launch, a dropped line, or a chunk of standard error
    // as it was read (`standardError`: it may end inside a line, and the next chunk goes on).
    struct ErrorDetails {
        QString text;
        bool standardError = false;
        bool operator==(const ErrorDetails&) const = default;
    };
    // An unterminated last output fragment that does not look like a JSON object.
    struct UnparsedOutput {
        QString text;
        bool operator==(const UnparsedOutput&) const = default;
    };
    struct TurnCompleted {
        bool operator==(const TurnCompleted&) const = default;
    };

    using Value = std::variant<Thinking, AssistantMessage, ToolUse, ToolResult, ServerToolUse, ThreadStarted,
                               ErrorDetails, UnparsedOutput, TurnCompleted>;
    Value value;

    template <typename Case>
        requires std::is_constructible_v<Value, Case> && (!std::is_same_v<std::decay_t<Case>, ChatProviderEvent>)
    ChatProviderEvent(Case event) : value(std::move(event)) {}

    template <typename Case>
    const Case* as() const { return std::get_if<Case>(&value); }

    bool operator==(const ChatProviderEvent&) const = default;
};

// Whether a turn starts a new tool session or resumes one.
struct ChatSessionMode {
    std::optional<QString> resumeSessionID;

    static ChatSessionMode newSession() { return {}; }
    static ChatSessionMode resume(QString sessionID) { return {std::move(sessionID)}; }
    bool isResume() const { return resumeSessionID.has_value(); }
};

// Whether a session identifier may be put on a command line: 1 to 256 printable characters,
// not starting with "-" (so that it can never be read as an option).
bool isSafeSessionID(const QString& sessionID);

struct ChatSessionStartResult {
    enum class Kind { failed, unavailable, started, executableNotFound, alreadyRunning };
    Kind kind = Kind::unavailable;
    QString message; // only for `failed`

    static ChatSessionStartResult failed(QString message) { return {Kind::failed, std::move(message)}; }
    static ChatSessionStartResult of(Kind kind) { return {kind, {}}; }
    bool operator==(const ChatSessionStartResult&) const = default;
};

// What became of a prompt handed to a service.
enum class ChatLaunchResult {
    launched,    // the tool runs and has the prompt
    notStarted,  // no successful start (no executable or no callbacks)
    busy,        // the previous turn's tool has not ended yet
    failed,      // the tool could not be started; error details and a termination follow
};

// One transcript message.
struct ChatMessageModel {
    QUuid id;
    ChatMessageRole role = ChatMessageRole::system;
    QString content;
    QDateTime timestamp;
    bool isThinking = false;
    bool isPending = false;
    bool isParsingError = false;
    bool isProcessing = false;
    std::optional<QString> toolInvocationID;
    std::optional<QString> toolLabel;
    bool toolHasResult = false;

    // This tool call with its result: same id, time stamp, call id and label; no flags; a result
    // only when `content` is not blank.
    ChatMessageModel updatingToolResult(const QString& content) const;

    bool operator==(const ChatMessageModel&) const = default;
};

// What differs between the tools: the command line of a turn and the meaning of an output line.
// Implementations are pure and may be called from any thread.
class ChatProviderAdapter {
public:
    virtual ~ChatProviderAdapter() = default;
    // The arguments after the executable. A resume whose identifier is not safe on a command line
    // starts a new session instead.
    virtual QStringList arguments(const ChatSessionMode& mode, const std::optional<QString>& workingDirectory) const = 0;
    // The events of one trimmed, non-empty line of valid UTF-8, in order.
    virtual QList<ChatProviderEvent> parseLine(std::string_view line) const = 0;
};

} // namespace quillora::chat
