#include "TerminalFuzzing.h"

#include "terminal/Log.h"
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace terminal::fuzz {

namespace {

// Decisions come from a generator seeded by the input's header, so the rest of the input stays
// raw program output that mutations can shape.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed | 1) {}
    std::uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::uint32_t>(state_ >> 11);
    }
    int below(int n) { return n > 0 ? static_cast<int>(next() % static_cast<std::uint32_t>(n)) : 0; }

private:
    std::uint64_t state_;
};

struct Header {
    TerminalOptions options;
    std::uint64_t seed = 0;
};

constexpr std::size_t headerSize = 8;

Header readHeader(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t h[headerSize] = {};
    for (std::size_t i = 0; i < headerSize && i < size; ++i)
        h[i] = data[i];
    Header header;
    header.options.cols = 2 + h[0] % 120;
    header.options.rows = 1 + h[1] % 40;
    header.options.scrollback = h[2] % 64;
    header.options.convertEol = h[3] & 1;
    header.options.reportChecksums = h[3] & 2;
    for (std::size_t i = 4; i < headerSize; ++i)
        header.seed = header.seed << 8 | h[i];
    return header;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "terminal fuzz: %s\n", what.c_str());
    std::abort();
}

// Checks every reply as it leaves: one control sequence, short, starting with an introducer
// and holding no other control character (so no text the program sent comes back as a
// command), and keeps a hash of all of them.
class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const std::uint8_t> data) override
    {
        if (data.empty() || data.size() > 160)
            fail("a reply of " + std::to_string(data.size()) + " bytes");
        const std::uint8_t first = data[0];
        if (first != 0x1B && first != 0x9B && first != 0x90 && first != 0x9D)
            fail("a reply without an introducer");
        for (std::uint8_t b : data) {
            if (b < 0x20 && b != 0x1B)
                fail("a control character in a reply");
            hash = (hash ^ b) * 0x100000001B3ull;
        }
        sent += data.size();
    }
    std::size_t sent = 0;
    std::uint64_t hash = 0xCBF29CE484222325ull;
};

MouseEvent randomMouseEvent(Random& random, const Terminal& terminal)
{
    static constexpr MouseButton buttons[] = {MouseButton::left,    MouseButton::middle,    MouseButton::right,
                                              MouseButton::none,    MouseButton::wheelUp,   MouseButton::wheelDown,
                                              MouseButton::wheelLeft, MouseButton::wheelRight, MouseButton::back,
                                              MouseButton::forward};
    MouseEvent event;
    event.action = static_cast<MouseEvent::Action>(random.below(3));
    event.button = buttons[random.below(10)];
    event.shift = random.below(2);
    event.meta = random.below(2);
    event.control = random.below(2);
    // Inside the screen mostly, past its edges and the encodings' limits sometimes.
    const bool far = random.below(4) == 0;
    event.col = far ? random.below(5000) - 100 : random.below(terminal.cols());
    event.row = far ? random.below(5000) - 100 : random.below(terminal.rows());
    event.pixelX = random.below(70000) - 100;
    event.pixelY = random.below(70000) - 100;
    return event;
}

void check(const Terminal& terminal)
{
    for (const Buffer* buffer : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        if (std::string problem = buffer->checkInvariants(); !problem.empty())
            fail((buffer == &terminal.altBuffer() ? "alternate buffer: " : "normal buffer: ") + problem);
        if (buffer->cols() != terminal.cols() || buffer->rows() != terminal.rows())
            fail("a buffer's size differs from the terminal's");
    }
    if (terminal.buffer().lines().count() < terminal.rows())
        fail("the active buffer has fewer rows than the screen");
    // The largest string kept whole is an inline image's (8 MiB); inputs are far smaller.
    if (terminal.parser().pendingBytes() > (1u << 20))
        fail("the parser holds too much");
}

// What must not depend on how the input was cut.
std::string state(const Terminal& t)
{
    std::string out = screenJson(t) + t.normalBuffer().allText() + "\n" + t.altBuffer().allText() + "\n";
    const auto& m = t.modes();
    for (bool flag : {m.applicationCursor, m.applicationKeypad, m.cursorHidden, m.originMode, m.marginMode, m.insertMode,
                      m.wraparound, m.reverseWraparound, m.bracketedPasteMode, m.lineFeedMode, m.reverseVideo})
        out += flag ? '1' : '0';
    out += " " + std::to_string(static_cast<int>(m.mouseMode)) + " " + std::to_string(static_cast<int>(m.mouseProtocol));
    out += " " + t.currentAttribute().toSgr() + " " + std::to_string(t.charsets().gLevel) + " " + t.terminalTitle() + "|" + t.iconTitle();
    out += " " + t.hostCurrentDirectory().value_or("-") + "|" + t.hostCurrentDocument().value_or("-");
    for (int row = 0; row < t.rows(); ++row) {
        for (int col = 0; col < t.cols(); ++col) {
            const CharData* cell = t.getCharData(col, row);
            if (const auto link = cell ? t.hyperlink(*cell) : std::nullopt)
                out += " " + std::to_string(row) + "," + std::to_string(col) + "=" + link->params + ";" + link->uri;
        }
    }
    for (const Buffer* b : {&t.normalBuffer(), &t.altBuffer()}) {
        out += " " + std::to_string(b->scrollTop()) + "-" + std::to_string(b->scrollBottom()) + " " + std::to_string(b->marginLeft())
            + "-" + std::to_string(b->marginRight()) + " " + std::to_string(b->savedX) + "," + std::to_string(b->savedY);
    }
    for (const Color& color : t.ansiColors())
        out += color.formatAsXcolor();
    return out;
}

void quiet()
{
    static const bool once = (setLogSink([](std::string_view) {}), true);
    (void)once;
}

} // namespace

int terminalInput(const std::uint8_t* data, std::size_t size)
{
    quiet();
    const Header header = readHeader(data, size);
    Random random(header.seed);
    NullHost host;
    Terminal terminal(&host, header.options);
    terminal.setSilentLog(header.seed & 1);
    std::size_t at = std::min(size, headerSize);
    while (at < size) {
        const std::size_t piece = std::min<std::size_t>(size - at, 1 + random.below(random.below(4) == 0 ? 4 : 512));
        terminal.feed(std::span(data + at, piece));
        at += piece;
        check(terminal);
        switch (random.below(24)) {
        case 0:
            terminal.resize(random.below(130), random.below(45));
            break;
        case 1:
            terminal.reset();
            break;
        case 2:
            terminal.softReset();
            break;
        case 3:
            terminal.feed(std::string_view(random.below(2) ? "\x1b[?1049h" : "\x1b[?1049l"));
            break;
        case 4:
            terminal.setUserScrolling(!terminal.userScrolling());
            terminal.buffer().setYDisp(random.below(terminal.buffer().yBase() + 1));
            break;
        case 5:
            terminal.tables().collect();
            break;
        case 6:
        case 7: {
            const std::size_t before = host.sent;
            if (terminal.sendMouseEvent(randomMouseEvent(random, terminal)) != (host.sent > before))
                fail("a mouse event sent other than it says");
            break;
        }
        default:
            continue;
        }
        check(terminal);
    }
    screenText(terminal);
    terminal.getBufferAsData(Terminal::BufferKind::normal);
    return 0;
}

int splitFeedInput(const std::uint8_t* data, std::size_t size)
{
    quiet();
    const Header header = readHeader(data, size);
    Random random(header.seed);
    const std::size_t start = std::min(size, headerSize);
    NullHost wholeHost;
    NullHost splitHost;
    Terminal whole(&wholeHost, header.options);
    Terminal split(&splitHost, header.options);
    whole.feed(std::span(data + start, size - start));
    for (std::size_t at = start; at < size;) {
        const std::size_t piece = std::min<std::size_t>(size - at, 1 + random.below(random.below(2) ? 3 : 64));
        split.feed(std::span(data + at, piece));
        at += piece;
    }
    if (state(whole) != state(split))
        fail("fed whole and split, the terminals differ:\n" + screenText(whole) + "---\n" + screenText(split));
    if (wholeHost.sent != splitHost.sent || wholeHost.hash != splitHost.hash)
        fail("fed whole and split, the replies differ");
    return 0;
}

} // namespace terminal::fuzz
