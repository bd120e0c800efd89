#include "terminal/EscapeSequenceParser.h"

#include "terminal/UnicodeUtil.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace terminal {

using State = EscapeSequenceParser::State;

namespace {

// The bytes of an 8-byte word outside printable ASCII (0x20-0x7E), each flagged by its high bit.
// A borrow or carry only runs on from a flagged byte, so the lowest flag is exact.
std::uint64_t unprintable(const std::uint8_t* p)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    const std::uint64_t below = (word - ones * 0x20) & ~word; // bytes under 0x20 borrow
    const std::uint64_t above = (word + ones) | word;          // 0x7F carries, 0x80 up are set
    return (below | above) & (ones * 0x80);
}

// Where the run of printable ASCII that starts at `p` ends. Sixteen bytes at a time, and the end
// found in either half without a branch on which: words of any length up to 15 letters cost the
// same, however they vary.
const std::uint8_t* printableEnd(const std::uint8_t* p, const std::uint8_t* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 16) {
            const std::uint64_t first = unprintable(p);
            const std::uint64_t second = unprintable(p + 8);
            // countr_zero of a word without a flag is 64: then the second word counts on.
            const int bit = std::countr_zero(first) + (first ? 0 : std::countr_zero(second));
            if (bit < 128)
                return p + bit / 8;
            p += 16;
        }
    }
    while (p < end && *p >= 0x20 && *p < 0x7F)
        ++p;
    return p;
}

// Reads the decimal digits that start at `p` into `value` (value * 10 + digit each, held at
// SequenceParams::maxValue); returns where they end. Up to four digits are read at once and
// their count picked without a branch: it varies from one parameter to the next, and a loop
// that ends after a varying count mispredicts its end, which cost colour and cursor sequences
// more than the rest of their reading.
const std::uint8_t* addDigits(const std::uint8_t* p, const std::uint8_t* end, std::uint32_t& value)
{
    constexpr std::uint32_t maxValue = SequenceParams::maxValue;
    if (std::endian::native == std::endian::little && value == 0 && end - p >= 4) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        const std::uint32_t digits = word - 0x30303030u;
        // Bytes under '0' borrow and bytes over '9' carry into their high bit; only bytes after
        // the first such byte are disturbed.
        const std::uint32_t others = ((digits + 0x76767676u) | digits) & 0x80808080u;
        const int n = std::countr_zero(others) / 8;
        // The values of the first one to four digits, picked by their count (an index: a
        // compiler makes a chain of conditions into branches).
        std::uint32_t prefixes[5];
        prefixes[0] = 0;
        prefixes[1] = digits & 0xFF;
        prefixes[2] = prefixes[1] * 10 + (digits >> 8 & 0xFF);
        prefixes[3] = prefixes[2] * 10 + (digits >> 16 & 0xFF);
        prefixes[4] = prefixes[3] * 10 + (digits >> 24);
        value = prefixes[n];
        p += n;
        if (n < 4)
            return p;
    }
    for (; p < end; ++p) {
        const unsigned digit = static_cast<unsigned>(*p) - '0';
        if (digit > 9)
            break;
        value = std::min(value * 10 + digit, maxValue);
    }
    return p;
}

enum class Action : std::uint8_t {
    ignore,
    print,
    execute,
    cancel,
    enterEscape,
    collect,
    param,
    escDispatch,
    csiEntry,
    csiDispatch,
    oscStart,
    oscPut,
    oscEnd,
    dcsEntry,
    dcsHook,
    dcsPut,
    sosStart,
    error,
};

constexpr int stateCount = static_cast<int>(State::dcsPassthrough) + 1;
// Every byte from 0xA0 up shares one column; in text, bytes from 0x80 up never reach the
// table (they are UTF-8), so columns 0x80-0x9F of the ground state hold the C1 controls.
constexpr int columns = 0xA1;

struct Entry {
    Action action = Action::error;
    State next = State::ground;
};

using Table = std::array<std::array<Entry, columns>, stateCount>;

constexpr bool isExecutable(int b)
{
    return (b <= 0x17) || b == 0x19 || (b >= 0x1C && b <= 0x1F);
}

Table buildTable()
{
    Table t{};
    auto set = [&t](State s, int from, int to, Action a, State next) {
        for (int b = from; b <= to; ++b)
            t[static_cast<int>(s)][b] = {a, next};
    };
    auto setExecutable = [&](State s, Action a, State next) {
        for (int b = 0; b < 0x20; ++b) {
            if (isExecutable(b))
                set(s, b, b, a, next);
        }
    };
    // Raw bytes from 0x80 up inside a sequence: the column of 0xA0.
    auto setHigh = [&](State s, Action a, State next) { set(s, 0x80, 0xA0, a, next); };

    for (int s = 0; s < stateCount; ++s) {
        const auto state = static_cast<State>(s);
        set(state, 0x00, 0xA0, Action::error, State::ground);
        setExecutable(state, Action::execute, state);
        set(state, 0x18, 0x18, Action::cancel, State::ground);
        set(state, 0x1A, 0x1A, Action::cancel, State::ground);
        set(state, 0x1B, 0x1B, Action::enterEscape, State::escape);
        set(state, 0x7F, 0x7F, Action::ignore, state);
    }

    set(State::ground, 0x20, 0x7E, Action::print, State::ground);
    // C1 controls, decoded from text.
    set(State::ground, 0x80, 0x9F, Action::execute, State::ground);
    set(State::ground, 0x90, 0x90, Action::dcsEntry, State::dcsEntry);
    set(State::ground, 0x98, 0x98, Action::sosStart, State::sosPmApcString);
    set(State::ground, 0x9B, 0x9B, Action::csiEntry, State::csiEntry);
    set(State::ground, 0x9C, 0x9C, Action::ignore, State::ground);
    set(State::ground, 0x9D, 0x9D, Action::oscStart, State::oscString);
    set(State::ground, 0x9E, 0x9F, Action::sosStart, State::sosPmApcString);

    set(State::escape, 0x20, 0x2F, Action::collect, State::escapeIntermediate);
    set(State::escape, 0x30, 0x7E, Action::escDispatch, State::ground);
    set(State::escape, 0x50, 0x50, Action::dcsEntry, State::dcsEntry);
    set(State::escape, 0x58, 0x58, Action::sosStart, State::sosPmApcString);
    set(State::escape, 0x5B, 0x5B, Action::csiEntry, State::csiEntry);
    set(State::escape, 0x5D, 0x5D, Action::oscStart, State::oscString);
    set(State::escape, 0x5E, 0x5F, Action::sosStart, State::sosPmApcString);

    set(State::escapeIntermediate, 0x20, 0x2F, Action::collect, State::escapeIntermediate);
    set(State::escapeIntermediate, 0x30, 0x7E, Action::escDispatch, State::ground);

    set(State::csiEntry, 0x20, 0x2F, Action::collect, State::csiIntermediate);
    set(State::csiEntry, 0x30, 0x3B, Action::param, State::csiParam);
    set(State::csiEntry, 0x3C, 0x3F, Action::collect, State::csiParam);
    set(State::csiEntry, 0x40, 0x7E, Action::csiDispatch, State::ground);

    set(State::csiParam, 0x20, 0x2F, Action::collect, State::csiIntermediate);
    set(State::csiParam, 0x30, 0x3B, Action::param, State::csiParam);
    set(State::csiParam, 0x3C, 0x3F, Action::ignore, State::csiIgnore);
    set(State::csiParam, 0x40, 0x7E, Action::csiDispatch, State::ground);

    set(State::csiIntermediate, 0x20, 0x2F, Action::collect, State::csiIntermediate);
    set(State::csiIntermediate, 0x30, 0x3F, Action::ignore, State::csiIgnore);
    set(State::csiIntermediate, 0x40, 0x7E, Action::csiDispatch, State::ground);

    set(State::csiIgnore, 0x20, 0x3F, Action::ignore, State::csiIgnore);
    set(State::csiIgnore, 0x40, 0x7E, Action::ignore, State::ground);
    setHigh(State::csiIgnore, Action::ignore, State::csiIgnore);

    setExecutable(State::sosPmApcString, Action::ignore, State::sosPmApcString);
    set(State::sosPmApcString, 0x20, 0x7F, Action::ignore, State::sosPmApcString);
    setHigh(State::sosPmApcString, Action::ignore, State::sosPmApcString);

    setExecutable(State::oscString, Action::ignore, State::oscString);
    set(State::oscString, 0x07, 0x07, Action::oscEnd, State::ground);
    set(State::oscString, 0x20, 0x7F, Action::oscPut, State::oscString);
    setHigh(State::oscString, Action::oscPut, State::oscString);

    for (State s : {State::dcsEntry, State::dcsParam, State::dcsIntermediate})
        setExecutable(s, Action::ignore, s);
    set(State::dcsEntry, 0x20, 0x2F, Action::collect, State::dcsIntermediate);
    set(State::dcsEntry, 0x30, 0x3B, Action::param, State::dcsParam);
    set(State::dcsEntry, 0x3C, 0x3F, Action::collect, State::dcsParam);
    set(State::dcsEntry, 0x40, 0x7E, Action::dcsHook, State::dcsPassthrough);

    set(State::dcsParam, 0x20, 0x2F, Action::collect, State::dcsIntermediate);
    set(State::dcsParam, 0x30, 0x3B, Action::param, State::dcsParam);
    set(State::dcsParam, 0x3C, 0x3F, Action::ignore, State::dcsIgnore);
    set(State::dcsParam, 0x40, 0x7E, Action::dcsHook, State::dcsPassthrough);

    set(State::dcsIntermediate, 0x20, 0x2F, Action::collect, State::dcsIntermediate);
    set(State::dcsIntermediate, 0x30, 0x3F, Action::ignore, State::dcsIgnore);
    set(State::dcsIntermediate, 0x40, 0x7E, Action::dcsHook, State::dcsPassthrough);

    setExecutable(State::dcsIgnore, Action::ignore, State::dcsIgnore);
    set(State::dcsIgnore, 0x20, 0x7F, Action::ignore, State::dcsIgnore);
    setHigh(State::dcsIgnore, Action::ignore, State::dcsIgnore);

    setExecutable(State::dcsPassthrough, Action::dcsPut, State::dcsPassthrough);
    set(State::dcsPassthrough, 0x20, 0x7E, Action::dcsPut, State::dcsPassthrough);
    setHigh(State::dcsPassthrough, Action::dcsPut, State::dcsPassthrough);
    return t;
}

const Table& table()
{
    static const Table t = buildTable();
    return t;
}

// The bytes that end a payload run inside a DCS string.
constexpr bool endsDcsRun(std::uint8_t b)
{
    return b == 0x18 || b == 0x1A || b == 0x1B || b == 0x7F;
}

} // namespace

std::string SequenceParams::describe() const
{
    std::string out = "[";
    for (int i = 0; i < count_; ++i) {
        if (i > 0)
            out += isSubParam(i) ? ":" : ", ";
        out += std::to_string(values_[static_cast<std::size_t>(i)]);
    }
    return out + "]";
}

void SequenceParams::next(bool sub)
{
    if (count_ >= maxCount) {
        discarding_ = true;
        return;
    }
    values_[static_cast<std::size_t>(count_)] = 0;
    if (sub)
        subMask_ |= 1u << count_;
    ++count_;
}

const std::uint8_t* SequenceParams::read(const std::uint8_t* p, const std::uint8_t* end)
{
    std::uint32_t value = static_cast<std::uint32_t>(values_[static_cast<std::size_t>(count_ - 1)]);
    for (;;) {
        p = addDigits(p, end, value);
        if (p == end || (*p != ';' && *p != ':'))
            break;
        if (!discarding_)
            values_[static_cast<std::size_t>(count_ - 1)] = static_cast<std::int32_t>(value);
        next(*p == ':');
        value = 0;
        ++p;
    }
    if (!discarding_)
        values_[static_cast<std::size_t>(count_ - 1)] = static_cast<std::int32_t>(value);
    return p;
}

std::string SequenceId::describe() const
{
    std::string out;
    for (std::uint8_t b : {prefix, intermediate1, intermediate2, final}) {
        if (b == 0)
            continue;
        if (!out.empty())
            out += ' ';
        if (b == ' ')
            out += "SP";
        else
            out += static_cast<char>(b);
    }
    return out;
}

EscapeSequenceParser::EscapeSequenceParser()
{
    // ESC \ is the string terminator: consumed, whatever string it ended.
    setEscHandler(SequenceId::make('\\'), [] {});
}

void EscapeSequenceParser::setExecuteHandler(std::uint8_t control, ExecuteHandler handler)
{
    if (control < execute_.size())
        execute_[control] = std::move(handler);
}

void EscapeSequenceParser::setCsiHandler(SequenceId id, CsiHandler handler)
{
    if (id.final < 0x40 || id.final > 0x7E)
        return;
    auto& list = csi_[id.final - 0x40];
    for (auto& [key, existing] : list) {
        if (key == id.key()) {
            existing = std::move(handler);
            return;
        }
    }
    list.emplace_back(id.key(), std::move(handler));
}

void EscapeSequenceParser::setEscHandler(SequenceId id, EscHandler handler)
{
    esc_[id.key()] = std::move(handler);
}

void EscapeSequenceParser::setOscHandler(int id, std::size_t maxPayload, OscHandler handler)
{
    oscHandlers_[id] = {maxPayload, std::move(handler)};
}

void EscapeSequenceParser::setDcsHandler(SequenceId id, std::size_t maxPayload, std::unique_ptr<DcsHandler> handler)
{
    // A string in progress must not keep using a handler that is being replaced.
    if (dcs_ && dcsId_ == id) {
        dcs_->handler->cancel();
        dcs_ = nullptr;
    }
    dcsHandlers_[id.key()] = {maxPayload, std::move(handler)};
}

void EscapeSequenceParser::parse(std::string_view data)
{
    parse(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

void EscapeSequenceParser::parse(std::span<const std::uint8_t> data)
{
    const std::uint8_t* p = data.data();
    const std::uint8_t* const end = p + data.size();
    while (p < end) {
        if (state_ == State::ground) {
            ground(p, end);
            if (p >= end)
                break;
            if (state_ != State::ground)
                continue;
        }
        const std::uint8_t b = *p++;
        handle(b, p, end);
    }
    // Text is handed over at the end of every feed; an incomplete character waits for the next.
    flushText();
}

void EscapeSequenceParser::reset()
{
    if (dcs_)
        dcs_->handler->cancel();
    dcs_ = nullptr;
    state_ = State::ground;
    utf8Need_ = 0;
    text_.clear();
    osc_.clear();
    clearSequence();
}

void EscapeSequenceParser::flushText()
{
    if (text_.empty())
        return;
    if (print_)
        print_(text_);
    text_.clear();
}

void EscapeSequenceParser::invalidUtf8()
{
    text_ += U'\uFFFD';
    utf8Need_ = 0;
}

// Text: printable ASCII in runs, UTF-8 decoded with validation. Returns at a control byte (or a
// decoded C1 control, already handled) or at the end of the input. Works on a local copy of
// the position, so that the loops keep it in a register.
void EscapeSequenceParser::ground(const std::uint8_t*& position, const std::uint8_t* end)
{
    const std::uint8_t* p = position;
    while (p < end) {
        const std::uint8_t b = *p;
        if (utf8Need_ == 0) {
            if (b >= 0x20 && b < 0x7F) {
                const std::uint8_t* start = p;
                p = printableEnd(p, end);
                // ASCII before other text (a letter before its mark) stays with it in one run.
                if (ascii_ && text_.empty() && (p == end || *p < 0x80)) {
                    ascii_(std::string_view(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start)));
                } else {
                    text_.append(start, p);
                }
                continue;
            }
            if (b < 0x80) {
                // A CSI sequence is read without leaving the text: positions and colours come
                // between words in what full-screen programs write.
                if (b == 0x1B) {
                    if (!text_.empty())
                        flushText();
                    const std::uint8_t* after = p + 1;
                    if (csiAtOnce(after, end)) {
                        p = after;
                        continue;
                    }
                }
                break;
            }
            ++p;
            const std::uint8_t lead = utf8LeadTable[b];
            if (lead >= 0xF0) {
                invalidUtf8();
                continue;
            }
            static constexpr std::uint8_t low[] = {0x80, 0xA0, 0x80, 0x90, 0x80};
            static constexpr std::uint8_t high[] = {0xBF, 0xBF, 0x9F, 0xBF, 0x8F};
            const int length = lead & 0x0F;
            // A well-formed sequence whole in the input is decoded at once; any other goes byte
            // by byte below, which finds where its invalid part ends.
            const auto continues = [&](int i) { return length <= i + 1 || (p[i] & 0xC0) == 0x80; };
            if (end - p >= length - 1 && p[0] >= low[lead >> 4] && p[0] <= high[lead >> 4] && continues(1) && continues(2)) {
                char32_t code = b & (0xFF >> (length + 1));
                for (const std::uint8_t* last = p + length - 1; p < last; ++p)
                    code = code << 6 | (*p & 0x3F);
                if (code > 0x9F) {
                    text_ += code;
                    continue;
                }
                // A C1 control (U+0080-U+009F) acts.
                flushText();
                handle(static_cast<std::uint8_t>(code), p, end);
                if (state_ != State::ground)
                    break;
                continue;
            }
            utf8Need_ = length - 1;
            utf8Code_ = b & (0xFF >> (length + 1));
            utf8Low_ = low[lead >> 4];
            utf8High_ = high[lead >> 4];
            continue;
        }
        if (b < utf8Low_ || b > utf8High_) {
            // The sequence so far is one invalid subpart; b is read again.
            invalidUtf8();
            continue;
        }
        ++p;
        utf8Code_ = utf8Code_ << 6 | (b & 0x3F);
        utf8Low_ = 0x80;
        utf8High_ = 0xBF;
        if (--utf8Need_ > 0)
            continue;
        if (utf8Code_ >= 0x80 && utf8Code_ <= 0x9F) {
            flushText();
            handle(static_cast<std::uint8_t>(utf8Code_), p, end);
            if (state_ != State::ground)
                break;
            continue;
        }
        text_ += utf8Code_;
    }
    position = p;
}

void EscapeSequenceParser::handle(std::uint8_t b, const std::uint8_t*& p, const std::uint8_t* end)
{
    if (state_ == State::ground) {
        if (utf8Need_ > 0)
            invalidUtf8();
        flushText();
        if (b == 0x1B && csiAtOnce(p, end))
            return;
    }
    const Entry entry = table()[static_cast<int>(state_)][std::min<int>(b, 0xA0)];
    perform(static_cast<std::uint8_t>(entry.action), b, p, end);
    if (entry.action != Action::error)
        state_ = entry.next;
}

void EscapeSequenceParser::perform(std::uint8_t rawAction, std::uint8_t b, const std::uint8_t*& p, const std::uint8_t* end)
{
    const auto action = static_cast<Action>(rawAction);
    switch (action) {
    case Action::ignore:
        if (state_ == State::sosPmApcString) {
            const std::uint8_t* q = p;
            while (q < end && *q != 0x18 && *q != 0x1A && *q != 0x1B)
                ++q;
            p = q;
        }
        return;
    case Action::print:
        // Text never reaches the table; kept for completeness of the ground state.
        text_ += b;
        return;
    case Action::execute:
        if (b < execute_.size() && execute_[b])
            execute_[b]();
        return;
    case Action::cancel:
        if (state_ == State::oscString)
            oscEnd(true);
        else if (state_ == State::dcsPassthrough)
            dcsEnd(true);
        clearSequence();
        return;
    case Action::enterEscape:
        if (state_ == State::oscString)
            oscEnd(false);
        else if (state_ == State::dcsPassthrough)
            dcsEnd(false);
        clearSequence();
        return;
    case Action::collect:
        this->collect(b);
        return;
    case Action::param:
        // Digits and separators in one loop: the hot part of colour-heavy output.
        p = params_.read(p - 1, end);
        return;
    case Action::escDispatch:
        dispatchEsc(b);
        return;
    case Action::csiEntry:
    case Action::dcsEntry:
        clearSequence();
        return;
    case Action::csiDispatch:
        dispatchCsi(b);
        return;
    case Action::oscStart:
        osc_.clear();
        oscId_ = -1;
        oscInId_ = true;
        oscMalformed_ = false;
        oscOverflow_ = false;
        oscLimit_ = unhandledOscLimit;
        return;
    case Action::oscPut:
        --p;
        oscPut(p, end);
        return;
    case Action::oscEnd:
        this->oscEnd(false);
        return;
    case Action::dcsHook:
        this->dcsHook(b);
        return;
    case Action::dcsPut:
        --p;
        dcsPut(p, end);
        return;
    case Action::sosStart:
        clearSequence();
        return;
    case Action::error: {
        // A byte that cannot continue the sequence: the sequence is dropped and the byte is
        // read again as text, so no text is swallowed.
        if (error_)
            error_(state_, b);
        clearSequence();
        state_ = State::ground;
        --p;
        return;
    }
    }
}

// A whole CSI sequence after ESC, read in one loop: what colour-heavy output is made of. Any
// byte this loop does not expect (a control inside, the end of the input) leaves the sequence
// to the state machine, which reads it again from the start.
bool EscapeSequenceParser::csiAtOnce(const std::uint8_t*& position, const std::uint8_t* end)
{
    const std::uint8_t* p = position;
    if (p >= end || *p != '[')
        return false;
    ++p;
    clearSequence();
    if (p < end && *p >= 0x3C && *p <= 0x3F)
        marks_ = std::uint32_t{*p++} << 24;
    p = params_.read(p, end);
    while (p < end && *p >= 0x20 && *p <= 0x2F)
        collect(*p++);
    if (p >= end || *p < 0x40 || *p > 0x7E)
        return false;
    dispatchCsi(*p);
    position = p + 1;
    return true;
}

void EscapeSequenceParser::clearSequence()
{
    params_.clear();
    marks_ = 0;
    intermediateCount_ = 0;
    tooManyIntermediates_ = false;
}

void EscapeSequenceParser::collect(std::uint8_t b)
{
    if (b >= 0x3C && b <= 0x3F) {
        marks_ = (marks_ & 0x00FFFFFFu) | std::uint32_t{b} << 24;
    } else if (intermediateCount_ < 2) {
        marks_ |= std::uint32_t{b} << (16 - 8 * intermediateCount_++);
    } else {
        tooManyIntermediates_ = true;
    }
}

SequenceId EscapeSequenceParser::sequenceId(std::uint8_t final) const
{
    return {static_cast<std::uint8_t>(marks_ >> 24), static_cast<std::uint8_t>(marks_ >> 16), static_cast<std::uint8_t>(marks_ >> 8), final};
}

void EscapeSequenceParser::dispatchCsi(std::uint8_t final)
{
    if (!tooManyIntermediates_) {
        const std::uint32_t id = marks_ | final;
        for (const auto& [key, handler] : csi_[final - 0x40]) {
            if (key == id) {
                handler(params_);
                return;
            }
        }
    }
    if (csiFallback_)
        csiFallback_(sequenceId(final), params_);
}

void EscapeSequenceParser::dispatchEsc(std::uint8_t final)
{
    const SequenceId id = sequenceId(final);
    if (!tooManyIntermediates_) {
        if (auto found = esc_.find(id.key()); found != esc_.end()) {
            found->second();
            return;
        }
    }
    if (escFallback_)
        escFallback_(id);
}

void EscapeSequenceParser::oscPut(const std::uint8_t*& position, const std::uint8_t* end)
{
    const std::uint8_t* p = position;
    while (p < end && *p >= 0x20) {
        if (oscInId_) {
            const std::uint8_t c = *p++;
            if (c >= '0' && c <= '9') {
                oscId_ = std::min(std::max(oscId_, 0) * 10 + (c - '0'), maxOscId + 1);
                if (oscId_ > maxOscId)
                    oscMalformed_ = true;
            } else if (c == ';' && oscId_ >= 0) {
                oscInId_ = false;
                if (auto found = oscHandlers_.find(oscId_); found != oscHandlers_.end())
                    oscLimit_ = found->second.maxPayload;
            } else {
                oscMalformed_ = true;
            }
            continue;
        }
        const std::uint8_t* start = p;
        while (p < end && *p >= 0x20)
            ++p;
        const auto n = static_cast<std::size_t>(p - start);
        if (oscMalformed_ || oscOverflow_)
            continue;
        if (osc_.size() + n > oscLimit_) {
            oscOverflow_ = true;
            osc_.clear();
        } else {
            osc_.append(reinterpret_cast<const char*>(start), n);
        }
    }
    position = p;
}

void EscapeSequenceParser::oscEnd(bool cancelled)
{
    if (!cancelled) {
        const auto found = oscHandlers_.find(oscId_);
        if (oscId_ < 0 || oscMalformed_) {
            if (oscFallback_)
                oscFallback_(oscId_, "malformed");
        } else if (found == oscHandlers_.end()) {
            if (oscFallback_)
                oscFallback_(oscId_, "unknown");
        } else if (oscOverflow_) {
            if (oscFallback_)
                oscFallback_(oscId_, "too long");
        } else {
            found->second.handler(osc_);
        }
    }
    osc_.clear();
    // One large string (an inline image) must not pin its memory for the terminal's life.
    if (osc_.capacity() > 64 * 1024)
        osc_.shrink_to_fit();
    oscId_ = -1;
    oscInId_ = true;
}

void EscapeSequenceParser::dcsHook(std::uint8_t final)
{
    const SequenceId id = sequenceId(final);
    dcs_ = nullptr;
    if (!tooManyIntermediates_) {
        if (auto found = dcsHandlers_.find(id.key()); found != dcsHandlers_.end()) {
            dcs_ = &found->second;
            dcsId_ = id;
            dcsBytes_ = 0;
            dcs_->handler->hook(id, params_);
            return;
        }
    }
    if (dcsFallback_)
        dcsFallback_(id, "unknown");
}

void EscapeSequenceParser::dcsPut(const std::uint8_t*& position, const std::uint8_t* end)
{
    const std::uint8_t* start = position;
    const std::uint8_t* p = position;
    while (p < end && !endsDcsRun(*p))
        ++p;
    position = p;
    if (!dcs_)
        return;
    const auto n = static_cast<std::size_t>(p - start);
    if (dcsBytes_ + n > dcs_->maxPayload) {
        dcs_->handler->cancel();
        dcs_ = nullptr;
        if (dcsFallback_)
            dcsFallback_(dcsId_, "too long");
        return;
    }
    dcsBytes_ += n;
    dcs_->handler->put(std::string_view(reinterpret_cast<const char*>(start), n));
}

void EscapeSequenceParser::dcsEnd(bool cancelled)
{
    if (!dcs_)
        return;
    DcsHandler& handler = *dcs_->handler;
    dcs_ = nullptr;
    if (cancelled)
        handler.cancel();
    else
        handler.unhook();
}

} // namespace terminal
