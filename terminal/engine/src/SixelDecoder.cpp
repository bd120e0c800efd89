// Sixel decoding in two passes over the data: the first measures the picture, the second draws
// it into a bitmap allocated once at that size. Both read the data with the same scanner, so
// the second never draws where the first did not measure.
#include "terminal/SixelDecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace terminal {

namespace {

// Far above any meaningful value, far below an overflow when added to a position.
constexpr int numberLimit = 1 << 20;
constexpr int maxParams = 5;

bool isDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

// The number at p, saturated; false when no digit is there.
bool readNumber(const std::uint8_t*& p, const std::uint8_t* end, int& value)
{
    if (p == end || !isDigit(*p))
        return false;
    int v = 0;
    do {
        v = std::min(v * 10 + (*p - '0'), numberLimit);
        ++p;
    } while (p != end && isDigit(*p));
    value = v;
    return true;
}

// Calls the sink for each command of the data: sixel(bits, repeat) (false stops), color(params,
// count), carriageReturn(), newLine(). A "#" without a number ends the data.
template <typename Sink>
void scan(std::string_view data, Sink& sink)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
    const auto* const end = p + data.size();
    int repeat = 1;
    while (p != end) {
        const std::uint8_t c = *p++;
        if (c >= '?' && c <= '~') {
            if (!sink.sixel(c - '?', repeat))
                return;
            repeat = 1;
            continue;
        }
        switch (c) {
        case '!':
            if (int n = 0; readNumber(p, end, n))
                repeat = std::max(n, 1);
            break;
        case '#': {
            int params[maxParams] = {};
            int count = 0;
            if (!readNumber(p, end, params[count++]))
                return;
            while (p != end && *p == ';') {
                ++p;
                int value = 0;
                readNumber(p, end, value);
                if (count < maxParams)
                    params[count] = value;
                ++count;
            }
            sink.color(params, std::min(count, maxParams));
            break;
        }
        case '$':
            sink.carriageReturn();
            break;
        case '-':
            sink.newLine();
            break;
        default:
            break;
        }
    }
}

struct Measure {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool tooLarge = false;

    bool sixel(int bits, int repeat)
    {
        if (bits != 0)
            height = std::max(height, y + static_cast<int>(std::bit_width(static_cast<unsigned>(bits))));
        x += repeat;
        tooLarge = x > sixel::maxWidth || height > sixel::maxHeight;
        return !tooLarge;
    }
    void color(const int*, int) {}
    void carriageReturn()
    {
        width = std::max(width, x);
        x = 0;
    }
    void newLine()
    {
        carriageReturn();
        y += 6;
    }
};

std::uint32_t packRgba(int red, int green, int blue, int alpha)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green), static_cast<std::uint8_t>(blue),
                                   static_cast<std::uint8_t>(alpha)};
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// Hue 0-360 (0 is blue), lightness and saturation 0-100.
std::uint32_t fromHls(int hue, int lightness, int saturation)
{
    const auto byte = [](double v) { return static_cast<int>(std::max(std::trunc(v), 0.0)) * 255 / 100; };
    if (saturation == 0) {
        const int grey = lightness * 255 / 100;
        return packRgba(grey, grey, grey, 0xFF);
    }
    const int h = (hue + 240) % 360;
    const double l = lightness;
    const double c = (1 - std::abs(2 * l / 100 - 1)) * saturation / 2;
    const double max = l + c;
    const double min = l - c;
    const auto t = [&](double a) { return a / 60 * (max - min) + min; };
    double r = 0, g = 0, b = 0;
    switch (h / 60) {
    case 0:
        r = max, g = t(h), b = min;
        break;
    case 1:
        r = t(120 - h), g = max, b = min;
        break;
    case 2:
        r = min, g = max, b = t(h - 120);
        break;
    case 3:
        r = min, g = t(240 - h), b = max;
        break;
    case 4:
        r = t(h - 240), g = min, b = max;
        break;
    default:
        r = max, g = min, b = t(360 - h);
        break;
    }
    return packRgba(byte(r), byte(g), byte(b), 0xFF);
}

class Draw {
public:
    Draw(SixelImage& image, std::span<const Color> defaults) : pixels_(image.pixels.data()), width_(image.width), height_(image.height)
    {
        for (std::size_t i = 0; i < defaults.size() && i < registers_.size(); ++i) {
            registers_[i] = packRgba(defaults[i].red >> 8, defaults[i].green >> 8, defaults[i].blue >> 8, 0xFF);
        }
        color_ = registers_[15];
        setBandMask();
    }

    bool sixel(int bits, int repeat)
    {
        bits &= bandMask_;
        if (bits != 0) {
            const int count = std::min(repeat, width_ - x_);
            const std::size_t stride = static_cast<std::size_t>(width_) * 4;
            std::uint8_t* column = pixels_ + static_cast<std::size_t>(y_) * stride + static_cast<std::size_t>(x_) * 4;
            do {
                std::uint8_t* out = column + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(bits))) * stride;
                bits &= bits - 1;
                for (int i = 0; i < count; ++i)
                    std::memcpy(out + 4 * i, &color_, 4);
            } while (bits != 0);
        }
        x_ += repeat;
        return true;
    }
    void color(const int* params, int count)
    {
        const int index = params[0];
        if (index >= sixel::registerCount)
            return;
        if (count >= 5) {
            if (params[1] == 2) {
                const auto percent = [](int v) { return std::clamp(v, 0, 100) * 255 / 100; };
                registers_[static_cast<std::size_t>(index)] = packRgba(percent(params[2]), percent(params[3]), percent(params[4]), 0xFF);
            } else if (params[1] == 1) {
                registers_[static_cast<std::size_t>(index)] = fromHls(std::min(params[2], 360), std::min(params[3], 100), std::min(params[4], 100));
            }
        }
        color_ = registers_[static_cast<std::size_t>(index)];
    }
    void carriageReturn() { x_ = 0; }
    void newLine()
    {
        x_ = 0;
        y_ += 6;
        setBandMask();
    }

private:
    // The rows of the band inside the bitmap: all six but in a last band partly below it.
    void setBandMask() { bandMask_ = height_ - y_ >= 6 ? 0x3F : (1 << std::max(height_ - y_, 0)) - 1; }

    std::uint8_t* pixels_;
    int width_;
    int height_;
    int x_ = 0;
    int y_ = 0;
    // Registers never defined draw transparent unless the terminal's palette has them.
    std::array<std::uint32_t, sixel::registerCount> registers_{};
    std::uint32_t color_ = 0;
    int bandMask_ = 0x3F;
};

} // namespace

std::optional<SixelImage> decodeSixel(std::string_view data, std::span<const Color> defaults)
{
    Measure measure;
    scan(data, measure);
    measure.carriageReturn();
    if (measure.tooLarge || measure.width > sixel::maxWidth)
        return std::nullopt;
    SixelImage image;
    if (measure.width == 0 || measure.height == 0)
        return image;
    image.width = measure.width;
    image.height = measure.height;
    image.pixels.assign(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4, 0);
    Draw draw(image, defaults);
    scan(data, draw);
    return image;
}

} // namespace terminal
