#include "mdview/ThemeColors.h"

namespace mdview {

namespace {

Color pair(std::uint32_t light, std::uint32_t dark)
{
    return Color::lightDark([light] { return Color::rgba(light); }, [dark] { return Color::rgba(dark); });
}

} // namespace

#define QUILLORA_THEME_COLOR(scope, name, light, dark)                                                             \
    Color scope::name()                                                                                            \
    {                                                                                                              \
        static const Color color = pair(light, dark);                                                              \
        return color;                                                                                              \
    }

QUILLORA_THEME_COLOR(DocCColors, text, 0x1d1d1fff, 0xf5f5f7ff)
QUILLORA_THEME_COLOR(DocCColors, link, 0x0066ccff, 0x2997ffff)
QUILLORA_THEME_COLOR(DocCColors, asideBackground, 0xf5f5f7ff, 0x323232ff)
QUILLORA_THEME_COLOR(DocCColors, asideBorder, 0x696969ff, 0x9a9a9eff)
QUILLORA_THEME_COLOR(DocCColors, codeBackground, 0xf5f5f7ff, 0x333336ff)
QUILLORA_THEME_COLOR(DocCColors, grid, 0xd2d2d7ff, 0x424245ff)

QUILLORA_THEME_COLOR(GitHubColors, text, 0x060606ff, 0xfbfbfcff)
QUILLORA_THEME_COLOR(GitHubColors, secondaryText, 0x6b6e7bff, 0x9294a0ff)
QUILLORA_THEME_COLOR(GitHubColors, tertiaryText, 0x6b6e7bff, 0x6d707dff)
QUILLORA_THEME_COLOR(GitHubColors, secondaryBackground, 0xf7f7f9ff, 0x25262aff)
QUILLORA_THEME_COLOR(GitHubColors, link, 0x2c65cfff, 0x4c8ef8ff)
QUILLORA_THEME_COLOR(GitHubColors, border, 0xe4e4e8ff, 0x42444eff)
QUILLORA_THEME_COLOR(GitHubColors, divider, 0xd0d0d3ff, 0x333438ff)

#undef QUILLORA_THEME_COLOR

Color GitHubColors::background()
{
    static const Color color = Color::lightDark([] { return Color::white(); }, [] { return Color::rgba(0x18191dff); });
    return color;
}

} // namespace mdview
