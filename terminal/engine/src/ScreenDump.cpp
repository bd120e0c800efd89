#include "terminal/ScreenDump.h"

#include "terminal/Terminal.h"

#include <cstdio>

namespace terminal {

namespace {

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendColor(std::string& out, Attribute::Color color)
{
    using Kind = Attribute::Color::Kind;
    switch (color.kind) {
    case Kind::defaultColor:
        out += "\"default\"";
        return;
    case Kind::defaultInvertedColor:
        out += "\"inverted\"";
        return;
    case Kind::ansi256:
        out += std::to_string(color.code());
        return;
    case Kind::trueColor: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "\"#%02x%02x%02x\"", color.red, color.green, color.blue);
        out += hex;
        return;
    }
    }
}

void appendStyle(std::string& out, CharacterStyle style)
{
    static constexpr struct {
        CharacterStyle bit;
        const char* name;
    } names[] = {
        {CharacterStyle::bold, "bold"},       {CharacterStyle::dim, "dim"},         {CharacterStyle::italic, "italic"},
        {CharacterStyle::underline, "underline"}, {CharacterStyle::blink, "blink"}, {CharacterStyle::inverse, "inverse"},
        {CharacterStyle::invisible, "invisible"}, {CharacterStyle::crossedOut, "crossedOut"},
    };
    out += '[';
    bool first = true;
    for (const auto& [bit, name] : names) {
        if (!style.contains(bit))
            continue;
        if (!first)
            out += ',';
        first = false;
        out += '"';
        out += name;
        out += '"';
    }
    out += ']';
}

} // namespace

std::string screenText(const Terminal& terminal)
{
    const Buffer& buffer = terminal.buffer();
    std::string out;
    for (int row = 0; row < terminal.rows(); ++row) {
        out += buffer.screenLine(row).translateToString(buffer.tables(), true, 0, terminal.cols());
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        out += '\n';
    }
    out += "cursor " + std::to_string(buffer.y()) + " " + std::to_string(buffer.x()) + "\n";
    return out;
}

std::string screenJson(const Terminal& terminal)
{
    const Buffer& buffer = terminal.buffer();
    std::string out = "{\"cols\":" + std::to_string(terminal.cols()) + ",\"rows\":" + std::to_string(terminal.rows())
        + ",\"cursor\":{\"row\":" + std::to_string(buffer.y()) + ",\"col\":" + std::to_string(buffer.x()) + "},\"lines\":[";
    std::string text;
    for (int row = 0; row < terminal.rows(); ++row) {
        const BufferLine& line = buffer.screenLine(row);
        if (row > 0)
            out += ',';
        out += "\n{\"text\":";
        text = line.translateToString(buffer.tables(), true, 0, terminal.cols());
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        appendJsonString(out, text);
        out += ",\"wrapped\":";
        out += line.isWrapped ? "true" : "false";
        out += ",\"cells\":[";
        for (int col = 0; col < terminal.cols(); ++col) {
            const CharData& cell = line[col];
            if (col > 0)
                out += ',';
            out += "{\"c\":";
            text.clear();
            if (!cell.isSpacer())
                buffer.tables().appendUtf8(cell.code, text, ' ');
            appendJsonString(out, text);
            out += ",\"w\":" + std::to_string(cell.width) + ",\"fg\":";
            appendColor(out, cell.attribute.fg);
            out += ",\"bg\":";
            appendColor(out, cell.attribute.bg);
            out += ",\"style\":";
            appendStyle(out, cell.attribute.style);
            out += '}';
        }
        out += "]}";
    }
    out += "\n]}\n";
    return out;
}

} // namespace terminal
