// feedback-probe: sends one request to the feedback service through the application's own client,
// to the base address in force (the environment's plendra-url, else the built-in default), and
// prints the decoded answer as JSON, or the failure's reason. Exits 1 when the call fails and 2 on
// a bad command line.

#include "feedback/Api.h"
#include "feedback/Records.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

using namespace plendra;

namespace {

const char* const usage =
    "Usage: feedback-probe list\n"
    "       feedback-probe create TITLE DESCRIPTION\n"
    "       feedback-probe vote ID\n"
    "       feedback-probe comment ID TEXT\n"
    "       feedback-probe user EMAIL\n"
    "\n"
    "Sends one request to the feedback service at the base address in force (plendra-url in the\n"
    "environment, else the built-in default) and prints the decoded answer as JSON. A failure\n"
    "prints its reason and exits 1. ID is a request's UUID.\n";

int badInput(const QString& message)
{
    std::fprintf(stderr, "feedback-probe: %s (see --help)\n", qPrintable(message));
    return 2;
}

// Runs the call and the event loop until its completion reports.
template <typename T>
int run(QCoreApplication& app, const std::function<void(Api::Completion<T>)>& call)
{
    int status = 1;
    QTimer::singleShot(0, &app, [&] {
        call([&](const ApiResult<T>& result) {
            if (result.isSuccess()) {
                std::fputs(QJsonDocument(toJsonObject(result.value())).toJson(QJsonDocument::Indented).constData(), stdout);
                status = 0;
            } else {
                const ApiError::Reason reason = result.error().reason;
                std::fprintf(stderr, "feedback-probe: %s: %s\n", qPrintable(rawValue(reason)),
                             qPrintable(description(reason)));
            }
            std::fflush(stdout);
            app.quit();
        });
    });
    app.exec();
    return status;
}

template <typename T>
int sendBuilt(QCoreApplication& app, const Api& api, const std::optional<ApiRequest>& request)
{
    return run<T>(app, [&](Api::Completion<T> done) {
        if (request)
            api.send<T>(*request, &app, done);
        else
            done(ApiError{ApiError::Reason::couldNotCreateRequest});
    });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == u"--help" || arguments.value(0) == u"-h") {
        std::fputs(usage, stdout);
        return 0;
    }
    const QString command = arguments.value(0);
    const qsizetype operands = arguments.size() - 1;
    const auto expect = [&](qsizetype count) { return operands == count; };
    const Api api = Api::shared();

    if (command == u"list" && expect(0))
        return sendBuilt<ListWishResponse>(app, api, api.makeListWishRequest());
    if (command == u"create" && expect(2))
        return sendBuilt<CreateWishResponse>(
            app, api, api.makeCreateWishRequest({arguments[1], arguments[2], std::nullopt, WishState::pending}));
    if ((command == u"vote" && expect(1)) || (command == u"comment" && expect(2))) {
        const std::optional<QUuid> id = uuidFromText(arguments[1]);
        if (!id)
            return badInput(QStringLiteral("\"%1\" is not a request ID (a UUID such as 6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F)")
                                .arg(arguments[1]));
        if (command == u"vote")
            return sendBuilt<VoteWishResponse>(app, api, api.makeVoteWishRequest({*id}));
        return run<CommentResponse>(app, [&](Api::Completion<CommentResponse> done) {
            api.createComment({*id, arguments[2]}, &app, done);
        });
    }
    if (command == u"user" && expect(1))
        return run<UserResponse>(app, [&](Api::Completion<UserResponse> done) {
            api.updateUser({std::nullopt, arguments[1], std::nullopt, std::nullopt}, &app, done);
        });

    const QStringList known{QStringLiteral("list"), QStringLiteral("create"), QStringLiteral("vote"),
                            QStringLiteral("comment"), QStringLiteral("user")};
    if (command.isEmpty())
        return badInput(QStringLiteral("a command is missing"));
    if (!known.contains(command))
        return badInput(QStringLiteral("unknown command \"%1\"").arg(command));
    return badInput(QStringLiteral("wrong number of arguments for \"%1\"").arg(command));
}
