#include "mdview/BlockStyle.h"

#include "mdview/Environment.h"
#include "mdview/TextUtilities.h"

#include <algorithm>

namespace mdview {

double listBulletSize(const std::optional<FontProperties>& font)
{
    const double base = font ? font->scaledSize() : FontProperties::defaultSize;
    return roundHalfAwayFromZero(base / 3);
}

namespace {

View framedMarker(View marker)
{
    return marker.relativeFrame(RelativeSize::em(1.5), Alignment::trailing());
}

// A small symbol sized from the text style in force.
View listBullet(const QString& symbol)
{
    return TextStyleAttributesReader([symbol](const AttributeContainer& attributes) {
        return Symbol(symbol, listBulletSize(attributes.fontProperties));
    });
}

BlockStyle<ListMarkerConfiguration> bulletStyle(const QString& symbol)
{
    return BlockStyle<ListMarkerConfiguration>(
        [symbol](const ListMarkerConfiguration&) { return framedMarker(listBullet(symbol)); });
}

} // namespace

namespace ListMarker {

BlockStyle<ListMarkerConfiguration> disc() { return bulletStyle(QStringLiteral("circle.fill")); }
BlockStyle<ListMarkerConfiguration> circle() { return bulletStyle(QStringLiteral("circle")); }
BlockStyle<ListMarkerConfiguration> square() { return bulletStyle(QStringLiteral("square.fill")); }

BlockStyle<ListMarkerConfiguration> discCircleSquare()
{
    return BlockStyle<ListMarkerConfiguration>([](const ListMarkerConfiguration& configuration) {
        static const QString symbols[] = {QStringLiteral("circle.fill"), QStringLiteral("circle"),
                                          QStringLiteral("square.fill")};
        const int index = std::clamp(configuration.listLevel, 1, 3) - 1;
        return framedMarker(listBullet(symbols[index]));
    });
}

BlockStyle<ListMarkerConfiguration> decimal()
{
    return BlockStyle<ListMarkerConfiguration>([](const ListMarkerConfiguration& configuration) {
        return framedMarker(Text(QString::number(configuration.itemNumber) + QLatin1Char('.'))
                                .markdownTextStyle([] {
                                    return TextStyle(FontDigitVariant(FontProperties::DigitVariant::monospaced));
                                }));
    });
}

BlockStyle<ListMarkerConfiguration> upperRoman()
{
    return BlockStyle<ListMarkerConfiguration>([](const ListMarkerConfiguration& configuration) {
        return framedMarker(Text(romanNumeral(configuration.itemNumber) + QLatin1Char('.')));
    });
}

BlockStyle<ListMarkerConfiguration> lowerRoman()
{
    return BlockStyle<ListMarkerConfiguration>([](const ListMarkerConfiguration& configuration) {
        return framedMarker(Text(romanNumeral(configuration.itemNumber).toLower() + QLatin1Char('.')));
    });
}

BlockStyle<ListMarkerConfiguration> dash()
{
    return BlockStyle<ListMarkerConfiguration>(
        [](const ListMarkerConfiguration&) { return framedMarker(Text(QStringLiteral("-"))); });
}

} // namespace ListMarker

namespace TaskListMarker {

BlockStyle<TaskListMarkerConfiguration> checkmarkSquare()
{
    return BlockStyle<TaskListMarkerConfiguration>([](const TaskListMarkerConfiguration& configuration) {
        const QString symbol = configuration.isCompleted ? QStringLiteral("checkmark.square.fill")
                                                         : QStringLiteral("square");
        // A small symbol, hierarchical: the secondary colour of the text.
        const View marker = TextStyleAttributesReader([symbol](const AttributeContainer& attributes) {
            const double size = attributes.fontProperties ? attributes.fontProperties->scaledSize()
                                                          : FontProperties::defaultSize;
            return Symbol(symbol, roundHalfAwayFromZero(size * 0.8), Color::secondary());
        });
        return framedMarker(marker);
    });
}

} // namespace TaskListMarker

} // namespace mdview
