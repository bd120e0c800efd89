#include "ProcessRecorder.h"

#include "terminal/process/ShellLaunch.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <deque>

using namespace process_test;
using terminal::LocalProcess;
using testsupport::waitUntil;

namespace {

struct Shell {
    Recorder recorder;
    LocalProcess process{&recorder};
};

// Starting and stopping many shells leaves nothing behind, leaks no terminal into the chat's
// QProcess children, and takes no child's exit code from them.
TEST(ManyShells, LeaveNoDescriptorNoZombieAndNoTerminalInOtherChildren)
{
    QTemporaryDir folder;
    terminal::EnvironmentList host = terminal::currentEnvironment();
    const auto launch = [&](int i) {
        terminal::setEnvironmentValue(host, "SHELL", i % 2 ? "/bin/bash" : "/bin/sh");
        return terminal::shellLaunch(folder.path().toStdString(), host);
    };
    {
        // Whatever is opened once per process (the reaper's wake-up descriptor) is open before
        // the count.
        Shell warmUp;
        terminal::startShell(warmUp.process, launch(0));
        warmUp.process.release();
    }
    ASSERT_TRUE(waitUntil([] { return LocalProcess::pendingReleases() == 0; }));
    const int descriptors = openDescriptorCount();

    std::deque<std::unique_ptr<Shell>> live;
    std::vector<std::unique_ptr<QProcess>> others;
    constexpr int shells = 50;
    for (int i = 0; i < shells; ++i) {
        auto shell = std::make_unique<Shell>();
        terminal::startShell(shell->process, launch(i));
        ASSERT_TRUE(shell->process.running());
        ASSERT_TRUE(waitUntil([&] { return !shell->recorder.output.empty(); })) << i;
        live.push_back(std::move(shell));
        if (i % 5 == 4) {
            // Started while five shells run: their terminals must not reach it.
            auto other = std::make_unique<QProcess>();
            other->start(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), QStringLiteral("for f in /proc/$$/fd/*; do readlink \"$f\"; done; exit %1")
                                                    .arg(i / 5 + 1)});
            others.push_back(std::move(other));
        }
        if (live.size() > 5) {
            // Half are released, half end with their owner.
            if (i % 2)
                live.front()->process.release();
            live.pop_front();
        }
    }
    live.clear();

    for (std::size_t i = 0; i < others.size(); ++i) {
        QProcess& other = *others[i];
        ASSERT_TRUE(waitUntil([&] { return other.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(other.error(), QProcess::UnknownError); // no start failure, no crash
        EXPECT_EQ(other.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(other.exitCode(), static_cast<int>(i) + 1);
        const QByteArray descriptorsSeen = other.readAllStandardOutput();
        EXPECT_FALSE(descriptorsSeen.contains("/dev/ptmx")) << descriptorsSeen.toStdString();
        EXPECT_FALSE(descriptorsSeen.contains("/dev/pts/")) << descriptorsSeen.toStdString();
    }
    others.clear();
    ASSERT_TRUE(waitUntil([] { return LocalProcess::pendingReleases() == 0; }, 30000));
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(ownZombies(), 0);
}

} // namespace
