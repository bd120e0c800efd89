#pragma once

#include <benchsupport/PeakMemory.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace benchsupport {

// One start of the whole application, timed from outside: from its start until it says that it
// has painted the file viewer area (QUILLORA_QUIT_AFTER_FIRST_PAINT=1 makes it say so on standard
// output and quit), until its exit (which waits for work still under way in the background), and
// the peak resident set it reached.
struct ApplicationLaunch {
    double milliseconds = 0;
    double exitMilliseconds = 0;
    long peakKilobytes = 0;
};

// This process's environment with HOME and the XDG folders under `home`, so that a child
// application keeps its settings, logs and caches there.
inline QProcessEnvironment environmentUnder(const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    return environment;
}

// Starts `application` with `arguments` under `home` (its settings, logs and caches there) on
// the Qt platform `platform` ("offscreen", or "xcb" on the display of the environment) and
// waits for it to quit after its first paint; fails the benchmark when it does not.
inline ApplicationLaunch launchApplication(const QString& application, const QString& home,
                                           const QStringList& arguments,
                                           const QString& platform = QStringLiteral("offscreen"))
{
    QProcess process;
    QProcessEnvironment environment = environmentUnder(home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("QUILLORA_QUIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // standard output is read below
    ApplicationLaunch launch;
    QElapsedTimer clock;
    clock.start();
    process.start(application, arguments);
    if (!process.waitForStarted(60000))
        qFatal("%s did not start", qPrintable(application));
    // Its peak is read while it runs: once it has exited, nothing is left to read.
    const QString pid = QString::number(process.processId());
    QByteArray said;
    const auto readPaint = [&] {
        said += process.readAllStandardOutput();
        if (launch.milliseconds == 0 && said.contains("first paint\n"))
            launch.milliseconds = double(clock.nsecsElapsed()) / 1e6;
    };
    while (!process.waitForFinished(2)) {
        readPaint();
        launch.peakKilobytes = std::max(launch.peakKilobytes, peakKilobytes(pid));
        if (clock.elapsed() > 300000)
            qFatal("%s did not quit after its first paint", qPrintable(application));
    }
    launch.exitMilliseconds = double(clock.nsecsElapsed()) / 1e6;
    readPaint();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || launch.milliseconds == 0)
        qFatal("%s did not quit after its first paint", qPrintable(application));
    return launch;
}

} // namespace benchsupport
