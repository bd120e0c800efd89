#include "entry/QuilloraApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillora"));

    quillora::QuilloraApp app;
    app.launch(QApplication::arguments().mid(1));
    return QApplication::exec();
}
