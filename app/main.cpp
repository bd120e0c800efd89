#include "entry/QuilloraApp.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {

// QUILLORA_PALETTE=dark or light draws the window in the Fusion style with a fixed dark or
// light palette, whatever the desktop's theme (Qt has no colour-scheme switch of its own, and a
// bare X server has no theme): for screenshots of both schemes.
void applyPaletteFromEnvironment()
{
    const QString scheme = qEnvironmentVariable("QUILLORA_PALETTE");
    if (scheme != u"dark" && scheme != u"light")
        return;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (scheme == u"light") {
        QApplication::setPalette(QApplication::style()->standardPalette());
        return;
    }
    QPalette dark;
    const QColor window(0x1e, 0x1e, 0x1e), base(0x26, 0x26, 0x26), text(0xe8, 0xe8, 0xe8), disabled(0x80, 0x80, 0x80);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::PlaceholderText, disabled);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::white);
    dark.setColor(QPalette::Light, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::Midlight, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::Mid, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Dark, QColor(0x14, 0x14, 0x14));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x41, 0x9c, 0xff));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, disabled);
    QApplication::setPalette(dark);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillora"));
    applyPaletteFromEnvironment();

    int status = 0;
    {
        quillora::QuilloraApp app;
        app.launch(QApplication::arguments().mid(1));
        status = QApplication::exec();
    }
    return quillora::QuilloraApp::endRun(status);
}
