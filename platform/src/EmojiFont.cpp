#include "platform/EmojiFont.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace platform {

QString colourEmojiFamily()
{
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>("emoji")), FcPatternDestroy);
    if (!pattern || !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern))
        return {};
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(FcFontMatch(nullptr, pattern.get(), &result),
                                                                        FcPatternDestroy);
    FcBool colour = FcFalse;
    FcChar8* family = nullptr;
    if (!match || FcPatternGetBool(match.get(), FC_COLOR, 0, &colour) != FcResultMatch || !colour
        || FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch)
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(family));
}

} // namespace platform
