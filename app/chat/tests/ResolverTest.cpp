#include "FakeTool.h"

#include "../src/ProcessGroups.h"

#include "chat/ExecutableResolverService.h"

#include <testsupport/Files.h>

#include <QElapsedTimer>

using namespace quillora::chat;
using quillora::chat::process_groups::hasLiveMembers;
using testsupport::waitUntil;

namespace {

void makeExecutable(const QString& path, const QByteArray& script = "#!/bin/sh\nexit 0\n")
{
    testsupport::writeFile(path, script);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

class Resolution : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("FAKE_TOOL_RECORD", QFile::encodeName(home.path()));
    }
    QString at(const QString& relative) const { return home.path() + QLatin1Char('/') + relative; }

    QTemporaryDir home;
};

TEST_F(Resolution, KnownPathsInSearchOrder)
{
    for (const char* entry : {"2.1.0", "1.0.3", ".hidden"})
        ASSERT_TRUE(QDir().mkpath(at(QStringLiteral(".local/share/claude/versions/") + QLatin1String(entry))));
    testsupport::writeFile(at(QStringLiteral(".local/share/claude/versions/latest")), "a file counts too");
    for (const char* version : {"v9.11.2", "v20.10.0", "v18.19.1", "system"})
        ASSERT_TRUE(QDir().mkpath(at(QStringLiteral(".nvm/versions/node/") + QLatin1String(version) + QStringLiteral("/bin"))));

    const QString h = home.path();
    QStringList versions;
    for (const QString& entry : QDir(at(QStringLiteral(".local/share/claude/versions")))
                                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted))
        versions << h + "/.local/share/claude/versions/" + entry + "/claude" << h + "/.local/share/claude/versions/" + entry + "/bin/claude";
    ASSERT_EQ(versions.size(), 6);
    const QStringList nvm{h + "/.nvm/versions/node/v20.10.0/bin", h + "/.nvm/versions/node/v18.19.1/bin",
                          h + "/.nvm/versions/node/v9.11.2/bin", h + "/.nvm/versions/node/system/bin"};
    auto withName = [](QStringList folders, const QString& name) {
        for (QString& folder : folders)
            folder += QLatin1Char('/') + name;
        return folders;
    };
    const QStringList before{"/usr/local/bin", "/usr/bin", h + "/.local/bin", h + "/.npm-global/bin", h + "/.yarn/bin", h + "/.volta/bin"};
    const QStringList after{h + "/.bun/bin", h + "/.local/share/pnpm"};
    const QString brew = QStringLiteral("/home/linuxbrew/.linuxbrew/bin");

    const ExecutableResolverService claude = ExecutableResolverService::claude(h);
    EXPECT_EQ(claude.executableName, QStringLiteral("claude"));
    EXPECT_EQ(claude.loggerCategory, QStringLiteral("ClaudeExecutableResolverService"));
    EXPECT_EQ(claude.timeout, std::chrono::milliseconds(2000));
    EXPECT_EQ(claude.knownPaths, withName(before, "claude") + versions + withName(after + nvm + QStringList{brew}, "claude"));

    const ExecutableResolverService codex = ExecutableResolverService::codex(h);
    EXPECT_EQ(codex.loggerCategory, QStringLiteral("CodexExecutableResolverService"));
    const QStringList codexFolders = before + after + nvm + QStringList{h + "/.cargo/bin", brew};
    EXPECT_EQ(codex.knownPaths, withName(codexFolders, "codex"));
    EXPECT_EQ(chatToolFolders(h), codexFolders);
}

TEST_F(Resolution, FirstRegularExecutableFileWins)
{
    ExecutableResolverService resolver = ExecutableResolverService::claude(home.path());
    for (const QString& system : {QStringLiteral("/usr/local/bin/claude"), QStringLiteral("/usr/bin/claude")})
        if (QFile::exists(system))
            GTEST_SKIP() << "a real claude is installed at " << system.toStdString();
    resolver.whichPath = QStringLiteral("/bin/false");

    EXPECT_FALSE(resolver.resolveBlocking());
    // Several nvm versions: the newest.
    for (const char* version : {"v18.0.0", "v20.1.0", "v8.9.4"})
        makeExecutable(at(QStringLiteral(".nvm/versions/node/") + QLatin1String(version) + QStringLiteral("/bin/claude")));
    resolver = ExecutableResolverService::claude(home.path());
    resolver.whichPath = QStringLiteral("/bin/false");
    EXPECT_EQ(resolver.resolveBlocking(), at(QStringLiteral(".nvm/versions/node/v20.1.0/bin/claude")));

    // Earlier places that hold no regular executable file are passed over.
    testsupport::writeFile(at(QStringLiteral(".local/bin/claude")), "not executable");
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral(".npm-global/bin/claude"))));
    QFile::link(at(QStringLiteral("nowhere")), at(QStringLiteral(".yarn/bin/claude")));
    EXPECT_EQ(resolver.resolveBlocking(), at(QStringLiteral(".nvm/versions/node/v20.1.0/bin/claude")));

    // A link to an executable counts, and an earlier known path wins.
    QDir().mkpath(at(QStringLiteral(".volta/bin")));
    QFile::link(at(QStringLiteral(".nvm/versions/node/v8.9.4/bin/claude")), at(QStringLiteral(".volta/bin/claude")));
    EXPECT_EQ(resolver.resolveBlocking(), at(QStringLiteral(".volta/bin/claude")));
}

TEST_F(Resolution, WhichIsAskedLast)
{
    const QString found = at(QStringLiteral("elsewhere/codex"));
    makeExecutable(found);
    struct Case {
        QByteArray which;
        bool finds;
    };
    const QList<Case> cases{
        {"#!/bin/sh\nprintf '%s\\n' '" + QFile::encodeName(found) + "'\n", true},
        {"#!/bin/sh\nprintf '  %s  \\n\\n' '" + QFile::encodeName(found) + "'\n", true},
        {"#!/bin/sh\nprintf '%s\\n' '" + QFile::encodeName(found) + "'\nexit 1\n", false},
        {"#!/bin/sh\necho " + QFile::encodeName(home.path()) + "\n", false}, // a folder
        {"#!/bin/sh\necho relative/codex\n", false},
    };
    for (const Case& c : cases) {
        const QString which = at(QStringLiteral("which"));
        makeExecutable(which, c.which);
        ExecutableResolverService resolver{QStringLiteral("codex"), {}, QStringLiteral("CodexExecutableResolverService")};
        resolver.whichPath = which;
        EXPECT_EQ(resolver.resolveBlocking().has_value(), c.finds) << c.which.constData();
    }

    // Without `which`, PATH is searched.
    ExecutableResolverService resolver{QStringLiteral("codex"), {}, QStringLiteral("CodexExecutableResolverService")};
    resolver.whichPath = at(QStringLiteral("no-which"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent::" + QFile::encodeName(at(QStringLiteral("elsewhere"))));
    EXPECT_EQ(resolver.resolveBlocking(), found);
    qputenv("PATH", path);
}

TEST_F(Resolution, SlowWhichIsKilledAtTheTimeOut)
{
    ExecutableResolverService resolver{QStringLiteral("claude"), {}, QStringLiteral("ClaudeExecutableResolverService")};
    resolver.whichPath = chat_test::testToolPath("slow-which.sh");
    QElapsedTimer timer;
    timer.start();
    std::optional<std::optional<QString>> answer;
    QObject context;
    resolver.resolveAsync(&context, [&](std::optional<QString> path) { answer = path; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 5000));
    EXPECT_FALSE(answer->has_value());
    EXPECT_GT(timer.elapsed(), 1500);
    EXPECT_LT(timer.elapsed(), 4000);
    // Neither `which` nor its child outlives the time-out.
    const QString pidFile = at(QStringLiteral("which-pid"));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(pidFile); }));
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t which = pid_t(file.readAll().trimmed().toLongLong());
    EXPECT_TRUE(waitUntil([&] { return !hasLiveMembers(which); }, 2000));
}

TEST_F(Resolution, AnswerForAContextThatIsGoneIsDropped)
{
    ExecutableResolverService resolver{QStringLiteral("claude"), {QStringLiteral("/bin/sh")}, QStringLiteral("x")};
    int answers = 0;
    {
        QObject context;
        resolver.resolveAsync(&context, [&](std::optional<QString>) { ++answers; });
    }
    testsupport::spin(300);
    EXPECT_EQ(answers, 0);
    QObject context;
    std::optional<QString> path;
    resolver.resolveAsync(&context, [&](std::optional<QString> p) { path = p; ++answers; });
    ASSERT_TRUE(waitUntil([&] { return answers == 1; }));
    EXPECT_EQ(path, QStringLiteral("/bin/sh"));
    testsupport::spin(2200); // the deadline passes: still one answer
    EXPECT_EQ(answers, 1);
}

} // namespace
