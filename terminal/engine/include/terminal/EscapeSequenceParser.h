#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace terminal {

// The numeric parameters of a CSI or DCS sequence. Values are separated by ';' into groups;
// within a group, ':' separates sub-parameters ("38:2::10:20:30" is one group of six values).
// An omitted value reads 0. Values saturate at maxValue and at most maxCount values are kept
// (the rest of the sequence's values are dropped).
class SequenceParams {
public:
    static constexpr int maxCount = 32;
    static constexpr int maxValue = 65535;

    int count() const { return count_; }
    // Value i, 0 when absent or out of range.
    int operator[](int i) const { return i >= 0 && i < count_ ? values_[static_cast<std::size_t>(i)] : 0; }
    // Value i, or `fallback` when it is absent or 0 (the usual default of a count).
    int at(int i, int fallback) const
    {
        const int v = (*this)[i];
        return v == 0 ? fallback : v;
    }
    // Whether value i was written after a ':' (a sub-parameter of the group before).
    bool isSubParam(int i) const { return i > 0 && i < count_ && (subMask_ >> i & 1u); }
    // The number of values in the group that starts at i (1 for a plain parameter).
    int groupLength(int i) const
    {
        if (i < 0 || i >= count_)
            return 0;
        int n = 1;
        while (i + n < count_ && isSubParam(i + n))
            ++n;
        return n;
    }
    // One value only, and it is 0: what a sequence without parameters gives.
    bool isEmpty() const { return count_ == 1 && values_[0] == 0; }

    // "[1, 2:3]": for diagnostics.
    std::string describe() const;

    void clear()
    {
        count_ = 1;
        values_[0] = 0;
        subMask_ = 0;
        discarding_ = false;
    }
    // Starts the next value, after ';' (or ':' for a sub-parameter).
    void next(bool sub);
    // Reads parameter bytes (digits, ';' and ':') from `p` on, the value being read kept in a
    // register; returns where they end.
    const std::uint8_t* read(const std::uint8_t* p, const std::uint8_t* end);

private:
    std::array<std::int32_t, maxCount> values_{};
    std::uint32_t subMask_ = 0;
    int count_ = 1;
    bool discarding_ = false;
};

// A sequence's identity: its private marker ('<', '=', '>' or '?', CSI and DCS only), up to two
// intermediate bytes (0x20-0x2F) and its final byte. Handlers are registered per identity, so a
// handler sees only the exact forms it was registered for ("CSI > 4 m" never reaches SGR).
struct SequenceId {
    std::uint8_t prefix = 0;
    std::uint8_t intermediate1 = 0;
    std::uint8_t intermediate2 = 0;
    std::uint8_t final = 0;

    static constexpr SequenceId make(char final, char prefix = 0, char intermediate = 0)
    {
        return {static_cast<std::uint8_t>(prefix), static_cast<std::uint8_t>(intermediate), 0, static_cast<std::uint8_t>(final)};
    }
    constexpr std::uint32_t key() const
    {
        return static_cast<std::uint32_t>(prefix) << 24 | static_cast<std::uint32_t>(intermediate1) << 16
            | static_cast<std::uint32_t>(intermediate2) << 8 | final;
    }
    // "? $ p": for diagnostics.
    std::string describe() const;
    friend constexpr bool operator==(SequenceId, SequenceId) = default;
};

// Receives the data string of one DCS sequence: hook at its start, put any number of times with
// the payload in pieces, then unhook when its terminator came, or cancel when it was cut off
// (CAN, SUB, over the byte limit it was registered with, a reset): a cancelled string must not act.
class DcsHandler {
public:
    virtual ~DcsHandler() = default;
    virtual void hook(SequenceId id, const SequenceParams& params) = 0;
    virtual void put(std::string_view data) = 0;
    virtual void unhook() = 0;
    virtual void cancel() = 0;
};

// Splits the bytes a program writes to the terminal into text, control characters and escape
// sequences (ESC, CSI, OSC, DCS; SOS, PM and APC strings are skipped), following the DEC
// VT500-series parser model, and calls the handlers its owner registered. It knows nothing of
// what the sequences mean. Its state survives between feeds, so a sequence or a character may be
// split across any number of them.
//
// Text is UTF-8: each maximal invalid subpart becomes one U+FFFD and the byte that ended it is
// read again. A C1 control (U+0080-U+009F, written in UTF-8) acts as a control in text; raw bytes
// 0x80-0x9F are never controls: in text they are invalid UTF-8, inside OSC, DCS and SOS/PM/APC
// strings they are payload. Strings end with BEL (OSC only) or ESC (ESC \ being the usual
// terminator); CAN and SUB cancel whatever sequence is in progress.
//
// Everything is bounded: parameters (SequenceParams), at most two intermediates, an OSC string's
// payload by the limit its handler was registered with, a DCS string by its handler's limit.
// A sequence over a limit is ignored up to its terminator.
class EscapeSequenceParser {
public:
    enum class State : std::uint8_t {
        ground,
        escape,
        escapeIntermediate,
        csiEntry,
        csiParam,
        csiIntermediate,
        csiIgnore,
        sosPmApcString,
        oscString,
        dcsEntry,
        dcsParam,
        dcsIgnore,
        dcsIntermediate,
        dcsPassthrough,
    };

    using PrintHandler = std::function<void(std::u32string_view text)>;
    using AsciiHandler = std::function<void(std::string_view text)>;
    using ExecuteHandler = std::function<void()>;
    using CsiHandler = std::function<void(const SequenceParams& params)>;
    using EscHandler = std::function<void()>;
    using OscHandler = std::function<void(std::string_view payload)>;
    // What reaches no handler: for diagnostics.
    using CsiFallback = std::function<void(SequenceId id, const SequenceParams& params)>;
    using EscFallback = std::function<void(SequenceId id)>;
    using OscFallback = std::function<void(int id, std::string_view problem)>;
    using DcsFallback = std::function<void(SequenceId id, std::string_view problem)>;
    using ErrorHandler = std::function<void(State state, std::uint8_t byte)>;

    // The payload limit of an OSC code nobody handles: its text is not kept.
    static constexpr std::size_t unhandledOscLimit = 0;
    // The largest OSC code; a longer number makes the string malformed.
    static constexpr int maxOscId = 99999;

    EscapeSequenceParser();
    EscapeSequenceParser(const EscapeSequenceParser&) = delete;
    EscapeSequenceParser& operator=(const EscapeSequenceParser&) = delete;

    void parse(std::span<const std::uint8_t> data);
    void parse(std::string_view data);
    // Back to the ground state with nothing pending (a DCS string in progress is cancelled).
    void reset();
    State state() const { return state_; }

    // Registration (installing again replaces). Execute handlers exist for C0 controls and C1
    // controls (0x80-0x9F); ESC handlers take at most two intermediates.
    void setPrintHandler(PrintHandler handler) { print_ = std::move(handler); }
    // Runs of printable ASCII (0x20-0x7E) straight from the input, in order with the rest of
    // the text; without one they reach the print handler.
    void setAsciiHandler(AsciiHandler handler) { ascii_ = std::move(handler); }
    void setExecuteHandler(std::uint8_t control, ExecuteHandler handler);
    void setCsiHandler(SequenceId id, CsiHandler handler);
    void setEscHandler(SequenceId id, EscHandler handler);
    // A string longer than `maxPayload` bytes is dropped whole.
    void setOscHandler(int id, std::size_t maxPayload, OscHandler handler);
    // The parser owns the handler; a string longer than `maxPayload` bytes is cancelled.
    void setDcsHandler(SequenceId id, std::size_t maxPayload, std::unique_ptr<DcsHandler> handler);
    void setCsiFallback(CsiFallback fallback) { csiFallback_ = std::move(fallback); }
    void setEscFallback(EscFallback fallback) { escFallback_ = std::move(fallback); }
    void setOscFallback(OscFallback fallback) { oscFallback_ = std::move(fallback); }
    void setDcsFallback(DcsFallback fallback) { dcsFallback_ = std::move(fallback); }
    void setErrorHandler(ErrorHandler handler) { error_ = std::move(handler); }

    // Bytes held for the sequence in progress (OSC text, pending text): bounded by the limits.
    std::size_t pendingBytes() const { return osc_.size() + text_.size() * sizeof(char32_t); }

private:
    struct OscEntry {
        std::size_t maxPayload;
        OscHandler handler;
    };
    struct DcsEntry {
        std::size_t maxPayload;
        std::unique_ptr<DcsHandler> handler;
    };

    void ground(const std::uint8_t*& p, const std::uint8_t* end);
    void flushText();
    void invalidUtf8();
    void handle(std::uint8_t b, const std::uint8_t*& p, const std::uint8_t* end);
    void perform(std::uint8_t action, std::uint8_t b, const std::uint8_t*& p, const std::uint8_t* end);
    void enter(State next);
    bool csiAtOnce(const std::uint8_t*& position, const std::uint8_t* end);
    void clearSequence();
    void collect(std::uint8_t b);
    SequenceId sequenceId(std::uint8_t final) const;
    void dispatchCsi(std::uint8_t final);
    void dispatchEsc(std::uint8_t final);
    void oscPut(const std::uint8_t*& p, const std::uint8_t* end);
    void oscEnd(bool cancelled);
    void dcsHook(std::uint8_t final);
    void dcsPut(const std::uint8_t*& p, const std::uint8_t* end);
    void dcsEnd(bool cancelled);

    State state_ = State::ground;

    // UTF-8 decoding of text: the scalar so far, bytes still needed, the range of the next byte.
    char32_t utf8Code_ = 0;
    int utf8Need_ = 0;
    std::uint8_t utf8Low_ = 0x80;
    std::uint8_t utf8High_ = 0xBF;
    std::u32string text_;

    SequenceParams params_;
    // The private marker and the intermediates as they stand in SequenceId::key, so that a
    // sequence's key is these bits and its final byte.
    std::uint32_t marks_ = 0;
    int intermediateCount_ = 0;
    bool tooManyIntermediates_ = false;

    // OSC: the code read so far, then the payload.
    std::string osc_;
    int oscId_ = 0;
    bool oscInId_ = true;
    bool oscMalformed_ = false;
    bool oscOverflow_ = false;
    std::size_t oscLimit_ = 0;

    DcsEntry* dcs_ = nullptr;
    SequenceId dcsId_;
    std::size_t dcsBytes_ = 0;

    PrintHandler print_;
    AsciiHandler ascii_;
    std::array<ExecuteHandler, 0xA0> execute_;
    // CSI handlers by final byte (0x40-0x7E), each a short list of identities.
    std::array<std::vector<std::pair<std::uint32_t, CsiHandler>>, 0x3F> csi_;
    std::unordered_map<std::uint32_t, EscHandler> esc_;
    std::unordered_map<int, OscEntry> oscHandlers_;
    std::unordered_map<std::uint32_t, DcsEntry> dcsHandlers_;
    CsiFallback csiFallback_;
    EscFallback escFallback_;
    OscFallback oscFallback_;
    DcsFallback dcsFallback_;
    ErrorHandler error_;
};

} // namespace terminal
