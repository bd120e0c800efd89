#pragma once

#include "mdview/Color.h"
#include "mdview/Geometry.h"
#include "mdview/Providers.h"
#include "mdview/TableStyle.h"
#include "mdview/TextStyle.h"
#include "mdview/Theme.h"

#include <QUrl>

#include <memory>
#include <optional>
#include <type_traits>

namespace mdview {

// Values that flow down the view tree while it is built. Modifiers change them for a subtree.
// Heavy members are shared, so copying an environment per modifier stays cheap.
struct Environment {
    Environment();

    ColorScheme colorScheme = ColorScheme::light;
    // The base text style; its default is the 13-point regular system font description.
    TextStyle textStyle = defaultTextStyle();
    std::optional<Color> foregroundColor; // absent: the scheme's primary colour
    double lineSpacing = 0;
    HorizontalAlignment multilineTextAlignment = HorizontalAlignment::leading;
    // The axis of the innermost stack, for dividers and spacers.
    Axis stackAxis = Axis::vertical;

    const Theme& theme() const { return *m_theme; }
    void setTheme(Theme theme) { m_theme = std::make_shared<const Theme>(std::move(theme)); }
    int listLevel = 0;
    bool tightSpacingEnabled = false;
    markdown::SoftBreak::Mode softBreakMode = markdown::SoftBreak::Mode::space;
    std::optional<QUrl> baseURL;
    std::optional<QUrl> imageBaseURL;
    std::shared_ptr<const CodeSyntaxHighlighter> codeSyntaxHighlighter;
    std::shared_ptr<const ImageProvider> imageProvider;
    std::shared_ptr<const InlineImageProvider> inlineImageProvider;
    TableBorderStyle tableBorderStyle;
    TableBackgroundStyle tableBackgroundStyle;
    // What remote images load through; null stands for the shared loader, made on first use.
    std::shared_ptr<remoteimage::RemoteImageLoader> remoteImageLoader;

    static TextStyle defaultTextStyle();
    // The theme of environments made from now on, where no theme is set. The layer's own
    // default is the plain Theme(); the document library makes its basic theme the default.
    static void setDefaultTheme(Theme theme);
    // Secondary one-point lines around and between all cells.
    static TableBorderStyle defaultTableBorderStyle();

private:
    std::shared_ptr<const Theme> m_theme;
};

template <typename Configuration>
View View::markdownBlockStyle(BlockStyle<Configuration> Theme::*field,
                              std::function<View(const Configuration&)> body) const
{
    return transformEnvironment([field, style = BlockStyle<Configuration>(std::move(body))](Environment& e) {
        Theme theme = e.theme();
        theme.*field = style;
        e.setTheme(std::move(theme));
    });
}

// The text style in force resolved into attributes, handed to the content function.
template <typename Content>
    requires std::is_invocable_r_v<View, const Content&, const AttributeContainer&>
View TextStyleAttributesReader(Content content)
{
    return EnvironmentReader([content = std::move(content)](const Environment& environment) {
        return content(environment.textStyle.attributes());
    });
}

// A thematic break: the theme's thematicBreak style, nothing else.
View ThematicBreakView();

} // namespace mdview
