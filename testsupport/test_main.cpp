#include <gtest/gtest.h>

#ifdef QUILLORA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    // Tests never need a real display; keep metrics stable across machines.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("QuilloraTests"));
    TestApplication::setApplicationName(QStringLiteral("QuilloraTests"));
    return RUN_ALL_TESTS();
}
