#include "TerminalScript.h"

#include "terminal/Log.h"
#include "terminal/ScreenDump.h"
#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace terminal::test {

namespace {

const char* onOff(bool value)
{
    return value ? "on" : "off";
}

std::string sgrOf(const Attribute& attribute)
{
    // "0;1;31m" becomes "1;31"; the default attribute is "default".
    std::string sgr = attribute.toSgr();
    sgr.pop_back();
    sgr.erase(0, sgr.size() > 1 ? 2 : 1);
    return sgr.empty() ? "default" : sgr;
}

const char* cursorStyleName(CursorStyle style)
{
    switch (style) {
    case CursorStyle::blinkBlock:
        return "blinkBlock";
    case CursorStyle::steadyBlock:
        return "steadyBlock";
    case CursorStyle::blinkUnderline:
        return "blinkUnderline";
    case CursorStyle::steadyUnderline:
        return "steadyUnderline";
    case CursorStyle::blinkBar:
        return "blinkBar";
    case CursorStyle::steadyBar:
        return "steadyBar";
    }
    return "?";
}

std::string quote(std::string_view text)
{
    return "\"" + escape(text) + "\"";
}

// What `state KEY` reads.
const std::map<std::string, std::function<std::string(const Terminal&)>>& stateProbes()
{
    using M = Terminal::Modes;
    static const std::map<std::string, std::function<std::string(const Terminal&)>> probes = [] {
        std::map<std::string, std::function<std::string(const Terminal&)>> p;
        const auto flag = [&p](const char* name, bool M::*field) {
            p[name] = [field](const Terminal& t) { return std::string(onOff(t.modes().*field)); };
        };
        flag("applicationCursor", &M::applicationCursor);
        flag("applicationKeypad", &M::applicationKeypad);
        flag("sendFocus", &M::sendFocus);
        flag("cursorHidden", &M::cursorHidden);
        flag("origin", &M::originMode);
        flag("marginMode", &M::marginMode);
        flag("insert", &M::insertMode);
        flag("wraparound", &M::wraparound);
        flag("reverseWraparound", &M::reverseWraparound);
        flag("bracketedPaste", &M::bracketedPasteMode);
        flag("cursorBlink", &M::cursorBlink);
        flag("allow80To132", &M::allow80To132);
        flag("smoothScroll", &M::smoothScroll);
        flag("lineFeedMode", &M::lineFeedMode);
        flag("reverseVideo", &M::reverseVideo);
        p["mouse"] = [](const Terminal& t) {
            static const char* names[] = {"off", "x10", "vt200", "buttonEventTracking", "anyEvent"};
            return std::string(names[static_cast<int>(t.modes().mouseMode)]);
        };
        p["mouseProtocol"] = [](const Terminal& t) {
            static const char* names[] = {"x10", "utf8", "sgr", "urxvt", "sgrPixel"};
            return std::string(names[static_cast<int>(t.modes().mouseProtocol)]);
        };
        p["screen"] = [](const Terminal& t) { return std::string(t.isCurrentBufferAlternate() ? "alternate" : "normal"); };
        p["region"] = [](const Terminal& t) {
            return std::to_string(t.buffer().scrollTop()) + " " + std::to_string(t.buffer().scrollBottom());
        };
        p["margins"] = [](const Terminal& t) {
            return std::to_string(t.buffer().marginLeft()) + " " + std::to_string(t.buffer().marginRight());
        };
        p["yBase"] = [](const Terminal& t) { return std::to_string(t.buffer().yBase()); };
        p["yDisp"] = [](const Terminal& t) { return std::to_string(t.buffer().yDisp()); };
        p["rowCount"] = [](const Terminal& t) { return std::to_string(t.buffer().lines().count()); };
        p["size"] = [](const Terminal& t) { return std::to_string(t.cols()) + "x" + std::to_string(t.rows()); };
        p["title"] = [](const Terminal& t) { return quote(t.terminalTitle()); };
        p["iconTitle"] = [](const Terminal& t) { return quote(t.iconTitle()); };
        p["cursorStyle"] = [](const Terminal& t) { return std::string(cursorStyleName(t.cursorStyle())); };
        p["send8bit"] = [](const Terminal& t) { return std::string(onOff(t.cc().send8bit)); };
        p["conformance"] = [](const Terminal& t) { return "vt" + std::to_string(100 * (static_cast<int>(t.conformance()) + 1)); };
        p["attribute"] = [](const Terminal& t) { return sgrOf(t.currentAttribute()); };
        p["titleModes"] = [](const Terminal& t) {
            const auto& m = t.titleModes();
            return std::string(onOff(m.setHex)) + " " + onOff(m.queryHex) + " " + onOff(m.setUtf) + " " + onOff(m.queryUtf);
        };
        // Runs of cells under one link: "ROW:FIRST-LAST=PAYLOAD@ATOM".
        p["links"] = [](const Terminal& t) {
            std::string out;
            for (int row = 0; row < t.rows(); ++row) {
                const BufferLine& line = t.buffer().screenLine(row);
                for (int col = 0; col < t.cols();) {
                    const TinyAtom atom = line[col].payload;
                    int last = col;
                    while (last + 1 < t.cols() && line[last + 1].payload == atom)
                        ++last;
                    if (atom.code != 0)
                        out += (out.empty() ? "" : " ") + std::to_string(row) + ":" + std::to_string(col) + "-" + std::to_string(last) + "="
                            + std::string(t.tables().payload(atom)) + "@" + std::to_string(atom.code);
                    col = last + 1;
                }
            }
            return out.empty() ? std::string("none") : out;
        };
        p["lineSizes"] = [](const Terminal& t) {
            static const char* names[] = {"single", "doubleWidth", "doubledTop", "doubledDown"};
            std::string out;
            for (int row = 0; row < t.rows(); ++row)
                out += (row ? " " : "") + std::string(names[static_cast<int>(t.buffer().screenLine(row).renderMode)]);
            return out;
        };
        p["tabs"] = [](const Terminal& t) {
            std::string out;
            const auto& stops = t.buffer().tabStops();
            for (std::size_t i = 0; i < stops.size(); ++i) {
                if (stops[i])
                    out += (out.empty() ? "" : " ") + std::to_string(i);
            }
            return out.empty() ? std::string("none") : out;
        };
        return p;
    }();
    return probes;
}

std::string rowsOf(const Buffer& buffer, int from, int to)
{
    std::string out;
    for (int i = from; i < to; ++i) {
        std::string text = buffer.lines()[i].translateToString(buffer.tables(), true);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += (buffer.lines()[i].isWrapped ? ">" : "|") + text + "\n";
    }
    return out;
}

struct Command {
    int line = 0;
    std::string verb;
    std::string arg;
    std::vector<std::string> block;
};

struct Case {
    std::string title;
    int line = 0;
    std::string size;
    std::vector<Command> commands;
};

struct Script {
    std::string defaultSize = "10x4";
    std::vector<Case> cases;
};

std::string trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

Script parseScript(std::istream& in)
{
    Script script;
    std::string raw;
    int number = 0;
    Command* blockOwner = nullptr;
    while (std::getline(in, raw)) {
        ++number;
        if (!raw.empty() && (raw[0] == '|' || raw[0] == '>')) {
            if (blockOwner)
                blockOwner->block.push_back(unescape(raw));
            continue;
        }
        blockOwner = nullptr;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("===", 0) == 0) {
            script.cases.push_back({trim(line.substr(3)), number, script.defaultSize, {}});
            continue;
        }
        const auto space = line.find(' ');
        Command command{number, line.substr(0, space), space == std::string::npos ? "" : trim(line.substr(space + 1)), {}};
        if (script.cases.empty()) {
            if (command.verb == "size")
                script.defaultSize = command.arg;
            continue;
        }
        Case& current = script.cases.back();
        if (command.verb == "size") {
            current.size = command.arg;
            continue;
        }
        current.commands.push_back(std::move(command));
        if (current.commands.back().verb == "screen" || current.commands.back().verb == "lines")
            blockOwner = &current.commands.back();
    }
    return script;
}

// "80x24 scrollback 100 convertEol reportChecksums"
TerminalOptions optionsFor(const std::string& size)
{
    TerminalOptions options;
    std::istringstream words(size);
    std::string dims;
    words >> dims;
    std::sscanf(dims.c_str(), "%dx%d", &options.cols, &options.rows);
    options.scrollback = 20;
    for (std::string word; words >> word;) {
        if (word == "scrollback")
            words >> options.scrollback;
        else if (word == "convertEol")
            options.convertEol = true;
        else if (word == "reportChecksums")
            options.reportChecksums = true;
    }
    return options;
}

// The argument of a command in quotes, unescaped.
std::string quotedArg(const std::string& arg)
{
    if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"')
        return unescape(std::string_view(arg).substr(1, arg.size() - 2));
    return arg;
}

class CaseRun {
public:
    CaseRun(const std::string& file, const Case& c) : file_(file), case_(c) {}

    // Runs the commands, checking expectations when `check`; feed number `splitFeed` is given in
    // pieces cut at `splitAt` (every byte when splitAt is 0). Returns the final state.
    std::string run(bool check, int splitFeed = -1, std::size_t splitAt = 0)
    {
        RecordingDelegate host;
        Terminal terminal(&host, optionsFor(case_.size));
        // Diagnostics are checked in the checking run only; the others must not use up the
        // log's rate limit.
        terminal.setSilentLog(!check);
        host.events.clear();
        std::size_t sentChecked = 0;
        std::size_t eventsChecked = 0;
        std::vector<std::string> logged;
        setLogSink([&logged](std::string_view message) { logged.emplace_back(message); });
        int feedIndex = 0;
        for (const Command& command : case_.commands) {
            const auto fail = [&](const std::string& what) {
                ADD_FAILURE_AT(file_.c_str(), command.line) << "[" << case_.title << "] " << what;
            };
            if (command.verb == "feed") {
                const std::string bytes = quotedArg(command.arg);
                if (feedIndex++ == splitFeed) {
                    if (splitAt == 0) {
                        for (char c : bytes)
                            terminal.feed(std::string_view(&c, 1));
                    } else {
                        terminal.feed(std::string_view(bytes).substr(0, splitAt));
                        terminal.feed(std::string_view(bytes).substr(splitAt));
                    }
                } else {
                    terminal.feed(bytes);
                }
            } else if (command.verb == "resize") {
                int cols = 0, rows = 0;
                std::sscanf(command.arg.c_str(), "%dx%d", &cols, &rows);
                terminal.resize(cols, rows);
            } else if (command.verb == "reset") {
                terminal.reset();
            } else if (command.verb == "untrusted") {
                host.trusted = false;
            } else if (!check) {
                continue;
            } else if (command.verb == "screen") {
                std::string expected;
                for (int row = 0; row < terminal.rows(); ++row)
                    expected += (row < static_cast<int>(command.block.size()) ? command.block[static_cast<std::size_t>(row)].substr(1) : "") + "\n";
                std::string actual = screenText(terminal);
                actual.erase(actual.rfind("cursor "));
                if (actual != expected)
                    fail("screen differs\nexpected:\n" + expected + "actual:\n" + actual);
            } else if (command.verb == "lines") {
                std::string expected;
                for (const std::string& row : command.block)
                    expected += row + "\n";
                const std::string actual = rowsOf(terminal.buffer(), 0, terminal.buffer().lines().count());
                if (actual != expected)
                    fail("rows differ\nexpected:\n" + expected + "actual:\n" + actual);
            } else if (command.verb == "cursor") {
                const std::string actual = std::to_string(terminal.buffer().y()) + " " + std::to_string(terminal.buffer().x());
                if (actual != command.arg)
                    fail("cursor is " + actual + ", expected " + command.arg);
            } else if (command.verb == "attr" || command.verb == "width") {
                int row = 0, col = 0;
                char rest[256] = {};
                std::sscanf(command.arg.c_str(), "%d %d %255[^\n]", &row, &col, rest);
                const CharData& cell = terminal.buffer().screenLine(row)[col];
                const std::string actual = command.verb == "attr" ? sgrOf(cell.attribute) : std::to_string(cell.width);
                if (actual != rest)
                    fail(command.verb + " of " + std::to_string(row) + "," + std::to_string(col) + " is " + actual + ", expected " + rest);
            } else if (command.verb == "wrapped") {
                int row = 0;
                char rest[16] = {};
                std::sscanf(command.arg.c_str(), "%d %15s", &row, rest);
                const std::string actual = terminal.buffer().screenLine(row).isWrapped ? "yes" : "no";
                if (actual != rest)
                    fail("row " + std::to_string(row) + " wrapped: " + actual + ", expected " + rest);
            } else if (command.verb == "state") {
                const auto space = command.arg.find(' ');
                const std::string key = command.arg.substr(0, space);
                const std::string expected = space == std::string::npos ? "" : trim(command.arg.substr(space + 1));
                std::string actual;
                if (key == "palette") {
                    const int index = std::stoi(expected);
                    actual = std::to_string(index) + " " + terminal.ansiColors()[static_cast<std::size_t>(index)].formatAsXcolor();
                } else if (auto probe = stateProbes().find(key); probe != stateProbes().end()) {
                    actual = probe->second(terminal);
                } else {
                    fail("no state " + key);
                    continue;
                }
                if (actual != expected)
                    fail("state " + key + " is " + actual + ", expected " + expected);
            } else if (command.verb == "sent") {
                const std::string actual = host.sent.substr(sentChecked);
                sentChecked = host.sent.size();
                if (actual != quotedArg(command.arg))
                    fail("sent " + quote(actual) + ", expected " + command.arg);
            } else if (command.verb == "events") {
                std::string actual;
                for (std::size_t i = eventsChecked; i < host.events.size(); ++i)
                    actual += (actual.empty() ? "" : " ") + host.events[i];
                eventsChecked = host.events.size();
                if (actual != command.arg)
                    fail("events: " + actual + ", expected " + command.arg);
            } else if (command.verb == "logged") {
                const std::string expected = quotedArg(command.arg);
                bool found = false;
                for (const std::string& message : logged)
                    found = found || message.find(expected) != std::string::npos;
                if (!found)
                    fail("nothing logged with " + command.arg);
                logged.clear();
            } else {
                fail("unknown command " + command.verb);
            }
        }
        setLogSink(nullptr);
        if (check) {
            const std::string problem = terminal.buffer().checkInvariants();
            if (!problem.empty())
                ADD_FAILURE_AT(file_.c_str(), case_.line) << "[" << case_.title << "] " << problem;
        }
        return stateDump(terminal, host);
    }

private:
    const std::string& file_;
    const Case& case_;
};

} // namespace

void RecordingDelegate::send(Terminal&, std::span<const std::uint8_t> data)
{
    sent.append(reinterpret_cast<const char*>(data.data()), data.size());
}

void RecordingDelegate::setTerminalTitle(Terminal&, const std::string& title)
{
    events.push_back("title:" + quote(title));
}

void RecordingDelegate::setTerminalIconTitle(Terminal&, const std::string& title)
{
    events.push_back("iconTitle:" + quote(title));
}

void RecordingDelegate::cursorStyleChanged(Terminal&, CursorStyle style)
{
    events.push_back(std::string("cursorStyle:") + cursorStyleName(style));
}

void RecordingDelegate::colorChanged(Terminal&, std::optional<int> index)
{
    events.push_back("color:" + (index ? std::to_string(*index) : std::string("all")));
}

void RecordingDelegate::setCursorColor(Terminal& source, std::optional<Color> color)
{
    events.push_back("cursorColor:" + (color ? color->formatAsXcolor() : std::string("default")));
    TerminalDelegate::setCursorColor(source, color);
}

void RecordingDelegate::clipboardCopy(Terminal&, std::span<const std::uint8_t> content)
{
    events.push_back("clipboard:" + quote(std::string_view(reinterpret_cast<const char*>(content.data()), content.size())));
}

std::optional<std::vector<std::uint8_t>> RecordingDelegate::windowCommand(Terminal&, const WindowManipulationCommand& command)
{
    static const char* names[] = {"moveWindowTo", "resizeWindowTo", "resizeTo", "resizeToLines", "deiconifyWindow", "iconifyWindow",
                                  "bringToFront", "sendToBack", "refreshWindow", "restoreMaximizedWindow", "maximizeWindow",
                                  "maximizeWindowVertically", "maximizeWindowHorizontally", "undoFullScreen", "switchToFullScreen",
                                  "toggleFullScreen", "reportTerminalState", "reportTerminalPosition", "reportTextAreaPosition",
                                  "reportTextAreaPixelDimension", "reportSizeOfScreenInPixels", "reportCellSizeInPixels",
                                  "reportTextAreaCharacters", "reportScreenSizeCharacters", "reportIconLabel", "reportWindowTitle"};
    events.push_back(std::string("window:") + names[static_cast<int>(command.kind)] + "," + std::to_string(command.first) + ","
                     + std::to_string(command.second));
    return std::nullopt;
}

void RecordingDelegate::hostCurrentDirectoryUpdated(Terminal& source)
{
    events.push_back("directory:" + quote(source.hostCurrentDirectory().value_or("")));
}

void RecordingDelegate::hostCurrentDocumentUpdated(Terminal& source)
{
    events.push_back("document:" + quote(source.hostCurrentDocument().value_or("")));
}

void RecordingDelegate::setForegroundColor(Terminal& source, Color color)
{
    events.push_back("foreground:" + color.formatAsXcolor());
    TerminalDelegate::setForegroundColor(source, color);
}

void RecordingDelegate::setBackgroundColor(Terminal& source, Color color)
{
    events.push_back("background:" + color.formatAsXcolor());
    TerminalDelegate::setBackgroundColor(source, color);
}

void RecordingDelegate::iTermContent(Terminal&, std::span<const std::uint8_t> content)
{
    events.push_back("content:" + quote(std::string_view(reinterpret_cast<const char*>(content.data()), content.size())));
}

void RecordingDelegate::notify(Terminal&, const std::string& title, const std::string& body)
{
    events.push_back("notify:" + quote(title) + "," + quote(body));
}

void RecordingDelegate::createImageFromBitmap(Terminal&, std::vector<std::uint8_t>& bytes, int width, int height)
{
    events.push_back("bitmap:" + std::to_string(width) + "x" + std::to_string(height) + "," + std::to_string(bytes.size()));
}

void RecordingDelegate::createImage(Terminal&, std::span<const std::uint8_t> data, ImageSizeRequest width, ImageSizeRequest height,
                                    bool preserveAspectRatio)
{
    const auto size = [](ImageSizeRequest r) {
        static const char* kinds[] = {"cells", "pixels", "percent", "auto"};
        return std::string(kinds[static_cast<int>(r.kind)]) + (r.kind == ImageSizeRequest::Kind::automatic ? "" : std::to_string(r.value));
    };
    events.push_back("image:" + quote(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())) + "," + size(width)
                     + "," + size(height) + (preserveAspectRatio ? ",keep" : ",stretch"));
}

std::string unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'e':
            out += '\x1b';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 'x':
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
            break;
        case 'u': {
            const auto close = text.find('}', i);
            appendUtf8(out, static_cast<char32_t>(std::stoul(std::string(text.substr(i + 2, close - i - 2)), nullptr, 16)));
            i = close;
            break;
        }
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string escape(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\x1b') {
            out += "\\e";
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string stateDump(const Terminal& terminal, const RecordingDelegate& host)
{
    std::string out = screenJson(terminal);
    for (const Buffer* buffer : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        out += rowsOf(*buffer, 0, buffer->lines().count());
        out += "saved " + std::to_string(buffer->savedX) + " " + std::to_string(buffer->savedY) + " " + sgrOf(buffer->savedAttr) + "\n";
    }
    for (const auto& [name, probe] : stateProbes())
        out += name + "=" + probe(terminal) + "\n";
    const CharSets& sets = terminal.charsets();
    for (const CharsetTable* table : sets.g)
        out += table ? "set " : "ascii ";
    out += std::to_string(sets.gLevel) + "\n";
    for (const Color& color : terminal.ansiColors())
        out += color.formatAsXcolor();
    out += "\nsent " + quote(host.sent) + "\n";
    for (const std::string& event : host.events)
        out += event + " ";
    return out;
}

void runScriptFile(const std::string& path)
{
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot read " << path;
    const Script script = parseScript(in);
    ASSERT_FALSE(script.cases.empty()) << path << " has no cases";
    for (const Case& c : script.cases) {
        CaseRun run(path, c);
        const std::string whole = run.run(true);
        int feedIndex = 0;
        for (const Command& command : c.commands) {
            if (command.verb != "feed")
                continue;
            const std::size_t length = quotedArg(command.arg).size();
            for (std::size_t at = 0; at < length; ++at) {
                if (run.run(false, feedIndex, at) != whole) {
                    ADD_FAILURE_AT(path.c_str(), command.line)
                        << "[" << c.title << "] "
                        << (at == 0 ? std::string("fed byte by byte") : "split at byte " + std::to_string(at))
                        << ", the state differs from the whole feed";
                    break;
                }
            }
            ++feedIndex;
        }
    }
}

std::string testDataDir()
{
    return TERMINAL_TEST_DATA_DIR;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace terminal::test
