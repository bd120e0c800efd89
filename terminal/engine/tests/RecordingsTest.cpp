// Real programs recorded with `script` (tests/recordings/record.sh): the screen the engine ends
// with must equal what tmux showed for the same bytes in a pane of the same size
// (`tmux capture-pane -p -e`: text and SGR), fed whole and split at every position.
#include "TerminalScript.h"

#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace terminal::test {
namespace {

// One row as runs of text under one attribute, "{sgr}text", up to its last non-blank cell.
struct RowBuilder {
    std::string out;
    std::string pending;
    std::string runAttribute;
    std::string text;

    void add(const std::string& attribute, const std::string& cell)
    {
        if (cell == " ") {
            pending += cell;
            pendingAttributes.push_back(attribute);
            return;
        }
        for (std::size_t i = 0; i < pendingAttributes.size(); ++i)
            append(pendingAttributes[i], " ");
        pending.clear();
        pendingAttributes.clear();
        append(attribute, cell);
    }
    void append(const std::string& attribute, const std::string& cell)
    {
        if (attribute != runAttribute || out.empty()) {
            out += "{" + attribute + "}";
            runAttribute = attribute;
        }
        out += cell;
    }
    std::vector<std::string> pendingAttributes;
};

std::string engineScreen(const Terminal& terminal)
{
    std::string out;
    const Buffer& buffer = terminal.buffer();
    for (int row = 0; row < terminal.rows(); ++row) {
        RowBuilder builder;
        const BufferLine& line = buffer.screenLine(row);
        for (int col = 0; col < terminal.cols(); ++col) {
            const CharData& cell = line[col];
            if (cell.isSpacer())
                continue;
            std::string text;
            buffer.tables().appendUtf8(cell.code, text, ' ');
            builder.add(cell.attribute.toSgr(), text);
        }
        out += builder.out + "\n";
    }
    return out + "cursor " + std::to_string(buffer.y()) + " " + std::to_string(buffer.x()) + "\n";
}

// The SGR tmux writes in a capture, applied to an attribute. Codes tmux would only write for
// attributes the recordings do not use fail the test, so that they are noticed.
void applySgr(Attribute& a, std::string_view parameters)
{
    std::vector<int> p;
    std::stringstream in{std::string(parameters)};
    for (std::string item; std::getline(in, item, ';');)
        p.push_back(item.empty() ? 0 : std::stoi(item));
    if (p.empty())
        p.push_back(0);
    auto style = [&a](CharacterStyle s, bool on) { on ? a.style.insert(s) : a.style.remove(s); };
    for (std::size_t i = 0; i < p.size(); ++i) {
        const int c = p[i];
        if (c == 0)
            a = CharData::Null.attribute;
        else if (c == 1 || c == 2 || c == 3 || c == 4 || c == 5 || c == 7 || c == 8 || c == 9) {
            static const CharacterStyle styles[] = {CharacterStyle::none,  CharacterStyle::bold,      CharacterStyle::dim,
                                                    CharacterStyle::italic, CharacterStyle::underline, CharacterStyle::blink,
                                                    CharacterStyle::none,  CharacterStyle::inverse,   CharacterStyle::invisible,
                                                    CharacterStyle::crossedOut};
            style(styles[c], true);
        } else if (c == 22) {
            style(CharacterStyle::bold | CharacterStyle::dim, false);
        } else if (c >= 23 && c <= 29 && c != 26) {
            static const CharacterStyle styles[] = {CharacterStyle::italic, CharacterStyle::underline, CharacterStyle::blink,
                                                    CharacterStyle::none,  CharacterStyle::inverse,   CharacterStyle::invisible,
                                                    CharacterStyle::crossedOut};
            style(styles[c - 23], false);
        } else if (c >= 30 && c <= 37) {
            a.fg = Attribute::Color::ansi256(static_cast<std::uint8_t>(c - 30));
        } else if (c >= 40 && c <= 47) {
            a.bg = Attribute::Color::ansi256(static_cast<std::uint8_t>(c - 40));
        } else if (c >= 90 && c <= 97) {
            a.fg = Attribute::Color::ansi256(static_cast<std::uint8_t>(c - 82));
        } else if (c >= 100 && c <= 107) {
            a.bg = Attribute::Color::ansi256(static_cast<std::uint8_t>(c - 92));
        } else if (c == 39) {
            a.fg = Attribute::Color::defaultColor();
        } else if (c == 49) {
            a.bg = Attribute::Color::defaultColor();
        } else if ((c == 38 || c == 48) && i + 2 < p.size() && p[i + 1] == 5) {
            (c == 38 ? a.fg : a.bg) = Attribute::Color::ansi256(static_cast<std::uint8_t>(p[i + 2]));
            i += 2;
        } else if ((c == 38 || c == 48) && i + 4 < p.size() && p[i + 1] == 2) {
            (c == 38 ? a.fg : a.bg) = Attribute::Color::trueColor(static_cast<std::uint8_t>(p[i + 2]), static_cast<std::uint8_t>(p[i + 3]),
                                                                  static_cast<std::uint8_t>(p[i + 4]));
            i += 4;
        } else {
            ADD_FAILURE() << "capture uses SGR " << parameters;
        }
    }
}

struct Capture {
    int cols = 0;
    int rows = 0;
    std::string screen;
};

// NAME.screen: "size COLSxROWS", "cursor ROW COL", then the capture's rows.
Capture readCapture(const std::string& path)
{
    std::istringstream in(readFile(path));
    Capture capture;
    std::string line;
    std::getline(in, line);
    std::sscanf(line.c_str(), "size %dx%d", &capture.cols, &capture.rows);
    std::string cursor;
    std::getline(in, cursor);
    Attribute attribute = CharData::Null.attribute;
    for (int row = 0; row < capture.rows; ++row) {
        if (!std::getline(in, line))
            line.clear();
        RowBuilder builder;
        std::size_t i = 0;
        while (i < line.size()) {
            if (line[i] == '\x1b') {
                const auto end = line.find('m', i);
                applySgr(attribute, std::string_view(line).substr(i + 2, end - i - 2));
                i = end + 1;
                continue;
            }
            // One scalar, with any zero-width ones after it: one cell.
            auto scalarEnd = [&line](std::size_t at) {
                const int length = utf8LeadTable[static_cast<unsigned char>(line[at])] & 0x0F;
                return std::min(line.size(), at + std::max(length, 1));
            };
            std::size_t end = scalarEnd(i);
            while (end < line.size() && line[end] != '\x1b') {
                const std::size_t next = scalarEnd(end);
                const std::u32string scalar = decodeUtf8(std::string_view(line).substr(end, next - end));
                if (scalar.empty() || columnWidth(scalar[0]) != 0)
                    break;
                end = next;
            }
            builder.add(attribute.toSgr(), line.substr(i, end - i));
            i = end;
        }
        capture.screen += builder.out + "\n";
    }
    capture.screen += cursor + "\n";
    return capture;
}

class Recording : public testing::TestWithParam<const char*> {};

TEST_P(Recording, EqualsTheCaptureWholeAndSplit)
{
    const std::string base = testDataDir() + "/recordings/" + GetParam();
    const std::string bytes = readFile(base + ".typescript");
    const Capture capture = readCapture(base + ".screen");
    ASSERT_FALSE(bytes.empty());
    ASSERT_GT(capture.cols, 0);
    TerminalOptions options;
    options.cols = capture.cols;
    options.rows = capture.rows;
    options.scrollback = 1000;
    const auto replay = [&](std::size_t splitAt) {
        Terminal terminal(nullptr, options);
        terminal.feed(std::string_view(bytes).substr(0, splitAt));
        terminal.feed(std::string_view(bytes).substr(splitAt));
        return engineScreen(terminal);
    };
    ASSERT_EQ(replay(bytes.size()), capture.screen);
    for (std::size_t at = 1; at < bytes.size(); ++at) {
        const std::string split = replay(at);
        if (split != capture.screen) {
            ADD_FAILURE() << "split at byte " << at << ":\n" << split;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, Recording, testing::Values("ls", "top", "less", "vim", "git", "readline"));

} // namespace
} // namespace terminal::test
