#include <gtest/gtest.h>

#ifdef QUILLORA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    // Tests never need a real display; keep metrics stable across machines.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every test process gets a home of its own, so that nothing the code under test stores
    // (defaults, session logs, the Trash) reaches the real user's files.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/quillora-test-home-XXXXXX"));
    if (!home.isValid())
        return 2;
    const QByteArray homePath = QFile::encodeName(home.path());
    qputenv("HOME", homePath);
    qputenv("XDG_CONFIG_HOME", homePath + "/.config");
    qputenv("XDG_DATA_HOME", homePath + "/.local/share");
    qputenv("XDG_CACHE_HOME", homePath + "/.cache");
    qputenv("XDG_STATE_HOME", homePath + "/.local/state");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("QuilloraTests"));
    TestApplication::setApplicationName(QStringLiteral("QuilloraTests"));
    return RUN_ALL_TESTS();
}
