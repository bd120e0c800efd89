#include "highlighter/Theme.h"

#include <QDir>

namespace highlighter::Highlight {

namespace {

QString expandTilde(const QString& path)
{
    if (path == u"~")
        return QDir::homePath();
    if (path.startsWith(u"~/"))
        return QDir::homePath() + path.mid(1);
    return path;
}

richtext::Color rgb(double red, double green, double blue)
{
    return {red, green, blue, 1.0};
}

// The nine colours in the order keyword, string, type, call, number, comment, property,
// dotAccess, preprocessing.
Theme makeTheme(Font font, richtext::Color plainText, richtext::Color background,
                std::initializer_list<richtext::Color> colors)
{
    using K = TokenType::Kind;
    const K kinds[] = {K::keyword, K::string, K::type, K::call, K::number,
                       K::comment, K::property, K::dotAccess, K::preprocessing};
    QHash<TokenType, richtext::Color> tokenColors;
    const richtext::Color* color = colors.begin();
    for (K kind : kinds)
        tokenColors.insert(kind, *color++);
    return Theme(std::move(font), plainText, std::move(tokenColors), background);
}

} // namespace

Font::Font(const QString& path, double size) : resource(Path{expandTilde(path)}), size(size) {}

richtext::FontSpec Font::resolved() const
{
    if (const auto* preloaded = std::get_if<Preloaded>(&resource))
        return preloaded->font;
    richtext::FontSpec spec;
    spec.family = QStringLiteral("Courier New");
    spec.monospaced = true;
    spec.pixelSize = size;
    if (const auto* file = std::get_if<Path>(&resource))
        spec.filePath = file->path;
    return spec;
}

Theme Theme::brindlesColors(Font font)
{
    return makeTheme(std::move(font), rgb(0.66, 0.74, 0.74), rgb(0.098, 0.098, 0.098),
                     {rgb(0.91, 0.2, 0.54), rgb(0.98, 0.39, 0.12), rgb(0.51, 0.51, 0.79), rgb(0.2, 0.56, 0.9),
                      rgb(0.86, 0.44, 0.34), rgb(0.42, 0.54, 0.58), rgb(0.13, 0.67, 0.62), rgb(0.57, 0.7, 0.0),
                      rgb(0.71, 0.54, 0.0)});
}

Theme Theme::presentation(Font font)
{
    return makeTheme(std::move(font), rgb(0.0, 0.0, 0.0), rgb(1.0, 1.0, 1.0),
                     {rgb(0.706, 0.0, 0.384), rgb(0.729, 0.0, 0.067), rgb(0.267, 0.537, 0.576),
                      rgb(0.267, 0.537, 0.576), rgb(0.0, 0.043, 1.0), rgb(0.336, 0.376, 0.42),
                      rgb(0.267, 0.537, 0.576), rgb(0.267, 0.537, 0.576), rgb(0.431, 0.125, 0.051)});
}

Theme Theme::midnight(Font font)
{
    return makeTheme(std::move(font), rgb(1.0, 1.0, 1.0), rgb(0.0, 0.0, 0.0),
                     {rgb(0.828, 0.095, 0.583), rgb(1.0, 0.171, 0.219), rgb(0.137, 1.0, 0.512),
                      rgb(0.137, 1.0, 0.512), rgb(0.469, 0.426, 1.0), rgb(0.255, 0.801, 0.27),
                      rgb(0.431, 0.714, 0.533), rgb(0.431, 0.714, 0.533), rgb(0.896, 0.488, 0.284)});
}

Theme Theme::sunset(Font font)
{
    return makeTheme(std::move(font), rgb(0.0, 0.0, 0.0), rgb(1.0, 0.99, 0.9),
                     {rgb(0.161, 0.259, 0.467), rgb(0.875, 0.027, 0.0), rgb(0.706, 0.27, 0.0),
                      rgb(0.278, 0.415, 0.593), rgb(0.161, 0.259, 0.467), rgb(0.765, 0.455, 0.11),
                      rgb(0.278, 0.415, 0.593), rgb(0.278, 0.415, 0.593), rgb(0.392, 0.391, 0.52)});
}

Theme Theme::wwdc17(Font font)
{
    return makeTheme(std::move(font), rgb(0.84, 0.84, 0.84), rgb(0.18, 0.19, 0.2),
                     {rgb(0.992, 0.791, 0.45), rgb(0.966, 0.517, 0.29), rgb(0.431, 0.714, 0.533),
                      rgb(0.431, 0.714, 0.533), rgb(0.559, 0.504, 0.745), rgb(0.484, 0.483, 0.504),
                      rgb(0.431, 0.714, 0.533), rgb(0.431, 0.714, 0.533), rgb(0.992, 0.791, 0.45)});
}

Theme Theme::wwdc18(Font font)
{
    return makeTheme(std::move(font), rgb(1.0, 1.0, 1.0), rgb(0.163, 0.163, 0.182),
                     {rgb(0.948, 0.14, 0.547), rgb(0.988, 0.273, 0.317), rgb(0.584, 0.898, 0.361),
                      rgb(0.584, 0.898, 0.361), rgb(0.587, 0.517, 0.974), rgb(0.424, 0.475, 0.529),
                      rgb(0.584, 0.898, 0.361), rgb(0.584, 0.898, 0.361), rgb(0.952, 0.526, 0.229)});
}

} // namespace highlighter::Highlight
