// chat-probe: runs one chat turn through the application's chat services and prints each event
// as one JSON line, then "exit STATUS". For developers checking a tool's stream by hand.
//
//   chat-probe --provider claude|codex [--cwd DIR] [--resume ID] [--timeout S] PROMPT

#include "chat/ChatEventJson.h"
#include "chat/ChatServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

using namespace quillora::chat;

namespace {

constexpr char usage[] =
    "usage: chat-probe --provider claude|codex [--cwd DIR] [--resume ID] [--timeout S] PROMPT\n"
    "Runs one turn of the chat tool and prints each event as a JSON line, then \"exit STATUS\".\n"
    "  --provider P   the tool: claude or codex\n"
    "  --cwd DIR      the project folder the turn runs in (default: the home folder)\n"
    "  --resume ID    resume the tool's session ID instead of starting a new one\n"
    "  --timeout S    after S seconds interrupt the turn as the Stop button does (default 120)\n";

[[noreturn]] void fail(const QString& message, int code = 2)
{
    std::fprintf(stderr, "chat-probe: %s\n", qPrintable(message));
    std::exit(code);
}

void note(const QString& message)
{
    std::fprintf(stderr, "chat-probe: %s\n", qPrintable(message));
}

struct Options {
    ChatProvider provider = ChatProvider::claude;
    std::optional<QString> folder;
    ChatSessionMode mode;
    int timeoutSeconds = 120;
    QString prompt;
};

Options parse(const QStringList& arguments)
{
    Options options;
    bool haveProvider = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                fail(argument + QStringLiteral(" needs a value"));
            return arguments[++i];
        };
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (argument == QLatin1String("--provider")) {
            const auto provider = chatProviderFromRawValue(value());
            if (!provider)
                fail(QStringLiteral("--provider must be claude or codex"));
            options.provider = *provider;
            haveProvider = true;
        } else if (argument == QLatin1String("--cwd")) {
            const QString folder = value();
            if (!QFileInfo(folder).isDir())
                fail(QStringLiteral("no such folder: ") + folder);
            options.folder = QDir(folder).absolutePath();
        } else if (argument == QLatin1String("--resume")) {
            const QString id = value();
            if (!isSafeSessionID(id))
                fail(QStringLiteral("--resume needs a printable session identifier not starting with \"-\""));
            options.mode = ChatSessionMode::resume(id);
        } else if (argument == QLatin1String("--timeout")) {
            bool ok = false;
            options.timeoutSeconds = value().toInt(&ok);
            if (!ok || options.timeoutSeconds <= 0)
                fail(QStringLiteral("--timeout needs a positive number of seconds"));
        } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            fail(QStringLiteral("unknown option ") + argument);
        } else if (!options.prompt.isNull()) {
            fail(QStringLiteral("give the prompt as one argument"));
        } else {
            options.prompt = argument;
        }
    }
    if (!haveProvider)
        fail(QStringLiteral("--provider is required (claude or codex)"));
    if (options.prompt.trimmed().isEmpty())
        fail(QStringLiteral("a prompt is required"));
    return options;
}

QString startResultName(ChatSessionStartResult::Kind kind)
{
    switch (kind) {
    case ChatSessionStartResult::Kind::failed: return QStringLiteral("failed");
    case ChatSessionStartResult::Kind::unavailable: return QStringLiteral("unavailable");
    case ChatSessionStartResult::Kind::started: return QStringLiteral("started");
    case ChatSessionStartResult::Kind::executableNotFound: return QStringLiteral("executable not found");
    case ChatSessionStartResult::Kind::alreadyRunning: return QStringLiteral("already running");
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());

    const ChatServiceFactory factory;
    const std::unique_ptr<ChatServiceProvider> service = factory.makeService(options.provider);
    auto* cli = static_cast<CLIChatService*>(service.get());
    int exitCode = 0;
    qint64 group = 0;

    auto onEvent = [](const ChatProviderEvent& event) {
        const QByteArray line = eventJson(event);
        std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    auto onTermination = [&](int status) {
        std::printf("exit %d\n", status);
        std::fflush(stdout);
        // Whatever the tool started should end with it, or with the interrupt.
        QTimer::singleShot(500, &app, [&] {
            if (group != 0)
                note(QStringLiteral("process group %1 %2").arg(group).arg(
                    ChatCLIProcessRunner::groupHasLiveProcesses(group) ? QStringLiteral("still has processes")
                                                                       : QStringLiteral("is empty")));
            app.exit(exitCode);
        });
    };

    service->start(onEvent, onTermination, [&](ChatSessionStartResult result) {
        if (result.kind != ChatSessionStartResult::Kind::started) {
            note(displayName(options.provider) + QStringLiteral(": ") + startResultName(result.kind));
            app.exit(1);
            return;
        }
        note(QStringLiteral("running ") + cli->core().executablePath().value_or(QString()));
        const ChatLaunchResult launched = service->send(options.prompt + QLatin1Char('\n'), options.folder, options.mode);
        if (launched == ChatLaunchResult::failed) {
            exitCode = 1; // the reason follows as error details
            return;
        }
        if (launched != ChatLaunchResult::launched) {
            note(QStringLiteral("the prompt was not sent"));
            app.exit(1);
            return;
        }
        group = cli->core().processGroup();
        QTimer::singleShot(options.timeoutSeconds * 1000, &app, [&] {
            if (!service->isRunning())
                return;
            note(QStringLiteral("timed out after %1 s: interrupting the turn").arg(options.timeoutSeconds));
            service->interrupt();
            // A tool that does not end on the interrupt is stopped.
            QTimer::singleShot(5000, &app, [&] {
                if (!service->isRunning())
                    return;
                note(QStringLiteral("the tool did not end on the interrupt: stopping it"));
                service->stop();
                std::printf("exit stopped\n");
                app.exit(1);
            });
        });
    });
    return app.exec();
}
