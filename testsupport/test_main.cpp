#include <gtest/gtest.h>

#ifdef QUILLORA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Settings of a desktop session that change how Qt lays out or draws; tests must not see them.
void forgetDesktopSettings()
{
    for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_FONT_DPI",
                             "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME", "QT_QPA_FONTDIR", "LANGUAGE"})
        qunsetenv(name);
    // One locale for every test, whatever the user's language: texts, number and date formats
    // under test are the C locale's. Tests that check locale independence set their own.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("LANG", "C.UTF-8");
}

#ifdef QUILLORA_TEST_GUI
// The faces scripts/setup.sh installs (fonts-dejavu-core). Font matching and metrics must be the
// same on every machine, so GUI tests see these and nothing else: not the desktop's other fonts,
// nor the user's fontconfig rules.
constexpr const char* pinnedFontDirectory = "/usr/share/fonts/truetype/dejavu";
constexpr const char* pinnedFonts[] = {"DejaVuSans.ttf",     "DejaVuSans-Bold.ttf",  "DejaVuSansMono.ttf",
                                       "DejaVuSansMono-Bold.ttf", "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"};

// Fontconfig's own classification rules (which families are monospaced, serif or sans-serif, and
// synthetic italic and bold) come from its package, which is the same on every machine; the
// rules that desktops, fonts and users add in conf.d are left out.
constexpr const char* pinnedFontConfig = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>%1</dir>
  <cachedir>%2</cachedir>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/30-metric-aliases.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/45-generic.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/45-latin.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/48-spacing.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/49-sansserif.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/60-generic.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/60-latin.conf</include>
  <include ignore_missing="yes">/usr/share/fontconfig/conf.avail/90-synthetic.conf</include>
  <alias binding="same"><family>sans-serif</family><prefer><family>DejaVu Sans</family></prefer></alias>
  <alias binding="same"><family>serif</family><prefer><family>DejaVu Serif</family></prefer></alias>
  <alias binding="same"><family>monospace</family><prefer><family>DejaVu Sans Mono</family></prefer></alias>
  <!-- Rendering fixed rather than taken from the machine. -->
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
    <edit name="lcdfilter" mode="assign"><const>lcddefault</const></edit>
  </match>
</fontconfig>
)";

void pinFonts(const QString& home)
{
    const QString fonts = home + QStringLiteral("/pinned-fonts");
    QDir().mkpath(fonts);
    for (const char* name : pinnedFonts) {
        const QString source = QFile::decodeName(pinnedFontDirectory) + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::link(source, fonts + QLatin1Char('/') + QLatin1String(name)) || !QFile::exists(source))
            std::fprintf(stderr, "test main: %s is missing; font metrics may differ (run scripts/setup.sh)\n",
                         qPrintable(source));
    }
    const QString configPath = home + QStringLiteral("/pinned-fonts.conf");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "test main: cannot write %s\n", qPrintable(configPath));
        return;
    }
    config.write(QString::fromUtf8(pinnedFontConfig)
                     .arg(fonts.toHtmlEscaped(), (home + QStringLiteral("/.cache/fontconfig")).toHtmlEscaped())
                     .toUtf8());
    config.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(configPath));
    qunsetenv("FONTCONFIG_PATH");
    qunsetenv("FONTCONFIG_SYSROOT");
}
#endif

} // namespace

int main(int argc, char** argv)
{
    // Tests never need a real display; keep metrics stable across machines.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    forgetDesktopSettings();
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
    qputenv("XDG_RUNTIME_DIR", homePath + "/.runtime");
    QDir().mkpath(home.path() + QStringLiteral("/.runtime"));
    QFile::setPermissions(home.path() + QStringLiteral("/.runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#ifdef QUILLORA_TEST_GUI
    pinFonts(home.path());
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("QuilloraTests"));
    TestApplication::setApplicationName(QStringLiteral("QuilloraTests"));
    return RUN_ALL_TESTS();
}
