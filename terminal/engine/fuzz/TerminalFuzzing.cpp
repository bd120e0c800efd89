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

class NullHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const std::uint8_t> data) override { sent += data.size(); }
    std::size_t sent = 0;
};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "terminal fuzz: %s\n", what.c_str());
    std::abort();
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
    if (wholeHost.sent != splitHost.sent)
        fail("fed whole and split, the replies differ");
    return 0;
}

} // namespace terminal::fuzz
