// The parser alone: what reaches which handler, for text, controls and every kind of sequence,
// whole and split at every position.
#include "TerminalScript.h"

#include "terminal/EscapeSequenceParser.h"
#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace terminal {
namespace {

// Registers a few handlers and writes every call as one line. Consecutive text lines are merged
// and DCS payload is written at the string's end, since how they are cut depends on how the
// input was fed.
class Recorder {
public:
    Recorder()
    {
        parser.setPrintHandler([this](std::u32string_view text) {
            std::string out;
            for (char32_t c : text) {
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, "<%X>", static_cast<unsigned>(c));
                    out += hex;
                }
            }
            add("print:", out, true);
        });
        for (std::uint8_t c : {0x07, 0x0A, 0x0D, 0x19, 0x84})
            parser.setExecuteHandler(c, [this, c] { add("exec:", std::to_string(c)); });
        parser.setCsiHandler(SequenceId::make('m'), [this](const SequenceParams& p) { add("sgr:", p.describe()); });
        parser.setCsiHandler(SequenceId::make('m', '>'), [this](const SequenceParams& p) { add("modkeys:", p.describe()); });
        parser.setCsiFallback([this](SequenceId id, const SequenceParams& p) { add("csi:", id.describe() + " " + p.describe()); });
        parser.setEscHandler(SequenceId::make('0', 0, '('), [this] { add("designate", ""); });
        parser.setEscFallback([this](SequenceId id) { add("esc:", id.describe()); });
        for (int id : {0, 52})
            parser.setOscHandler(id, 16, [this, id](std::string_view payload) { add("osc" + std::to_string(id) + ":", std::string(payload)); });
        parser.setOscFallback([this](int id, std::string_view problem) { add("oscfail:", std::to_string(id) + " " + std::string(problem)); });
        parser.setDcsHandler(SequenceId::make('q', 0, '$'), 8, std::make_unique<Dcs>(*this));
        parser.setDcsFallback([this](SequenceId id, std::string_view problem) { add("dcsfail:", id.describe() + " " + std::string(problem)); });
        parser.setErrorHandler([this](EscapeSequenceParser::State state, std::uint8_t byte) {
            add("error:", std::to_string(static_cast<int>(state)) + " " + std::to_string(byte));
        });
    }

    EscapeSequenceParser parser;
    std::vector<std::string> log;

private:
    class Dcs : public DcsHandler {
    public:
        explicit Dcs(Recorder& r) : r_(r) {}
        void hook(SequenceId id, const SequenceParams& p) override
        {
            data_.clear();
            r_.add("hook:", id.describe() + " " + p.describe());
        }
        void put(std::string_view data) override { data_ += data; }
        void unhook() override { r_.add("unhook:", data_); }
        void cancel() override { r_.add("cancel", ""); }

    private:
        Recorder& r_;
        std::string data_;
    };

    void add(const std::string& kind, const std::string& text, bool merge = false)
    {
        if (merge && !log.empty() && log.back().rfind(kind, 0) == 0) {
            log.back() += text;
            return;
        }
        log.push_back(kind + text);
    }
};

std::vector<std::string> parsed(std::string_view bytes, std::size_t splitAt = std::string_view::npos)
{
    Recorder r;
    if (splitAt == 0) {
        for (char c : bytes)
            r.parser.parse(std::string_view(&c, 1));
    } else if (splitAt < bytes.size()) {
        r.parser.parse(bytes.substr(0, splitAt));
        r.parser.parse(bytes.substr(splitAt));
    } else {
        r.parser.parse(bytes);
    }
    return r.log;
}

struct Case {
    const char* name;
    const char* input;
    std::vector<std::string> expected;
};

const Case cases[] = {
    {"text and controls", "AB\r\nC", {"print:AB", "exec:13", "exec:10", "print:C"}},
    {"DEL is not text", "a\x7f" "b", {"print:ab"}},
    {"long runs end at the first byte that is not printable ASCII",
     "abcdefghij\x7fklmnopqrstu\rvwxyzABCDEFGH\xc3\xa9IJKLMNOPQRS\x1b[mTUVWXYZ0123456789~ !",
     {"print:abcdefghijklmnopqrstu", "exec:13", "print:vwxyzABCDEFGH<E9>IJKLMNOPQRS", "sgr:[0]", "print:TUVWXYZ0123456789~ !"}},
    {"UTF-8 text", "\xe2\x94\x80x\xf0\x9f\x98\x80", {"print:<2500>x<1F600>"}},
    {"a stray continuation byte", "a\x80" "b", {"print:a<FFFD>b"}},
    {"a truncated sequence, the next byte read again", "\xe2\x94" "A", {"print:<FFFD>A"}},
    {"each maximal subpart once", "\xe2\x28\xa1", {"print:<FFFD>(<FFFD>"}},
    {"an overlong form", "\xc0\xaf", {"print:<FFFD><FFFD>"}},
    {"a surrogate", "\xed\xa0\x80", {"print:<FFFD><FFFD><FFFD>"}},
    {"beyond U+10FFFF", "\xf4\x90\x80\x80", {"print:<FFFD><FFFD><FFFD><FFFD>"}},
    {"a control ends a sequence", "\xf0\x9f\x98\r", {"print:<FFFD>", "exec:13"}},
    {"ESC ends a sequence", "\xe2\x94\x1b[m", {"print:<FFFD>", "sgr:[0]"}},
    {"a C1 control written in UTF-8 acts", "\xc2\x9b" "31m\xc2\x84", {"sgr:[31]", "exec:132"}},
    {"a raw C1 byte in text is not a control", "\x9b" "31m", {"print:<FFFD>31m"}},
    {"EM executes inside a sequence", "\x1b[1\x19m", {"exec:25", "sgr:[1]"}},
    {"CAN cancels a sequence", "\x1b[1\x18m", {"print:m"}},
    {"SUB cancels an escape", "\x1b\x1a" "c", {"print:c"}},
    {"non-ASCII breaks off an escape and is printed", "\x1b\xc3\xa9", {"error:1 195", "print:<E9>"}},
    {"parameters and sub-parameters", "\x1b[38:2::10:20:30;1;;4m", {"sgr:[38:2:0:10:20:30, 1, 0, 4]"}},
    {"a leading colon", "\x1b[:3m", {"sgr:[0:3]"}},
    {"parameters saturate", "\x1b[99999999999999999999m", {"sgr:[65535]"}},
    {"parameters of one to six digits", "\x1b[1;22;333;4444;55555;666666;07m", {"sgr:[1, 22, 333, 4444, 55555, 65535, 7]"}},
    {"at most 32 parameters",
     "\x1b[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20;21;22;23;24;25;26;27;28;29;30;31;32;33;34m",
     {"sgr:[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32]"}},
    {"handlers see only their own marker", "\x1b[>4;2m\x1b[?5m\x1b[=1m", {"modkeys:[4, 2]", "csi:? m [5]", "csi:= m [1]"}},
    {"a marker after a parameter makes the sequence void", "\x1b[1?hx", {"print:x"}},
    {"two intermediates, three are too many", "\x1b[1 !p\x1b[1 !!p", {"csi:SP ! p [1]", "csi:SP ! p [1]"}},
    {"escape with intermediate", "\x1b(0\x1b(B\x1b#8", {"designate", "esc:( B", "esc:# 8"}},
    {"OSC ended by BEL", "\x1b]0;title\x07", {"osc0:title"}},
    {"OSC ended by ESC \\", "\x1b]0;title\x1b\\x", {"osc0:title", "print:x"}},
    {"OSC without payload", "\x1b]52\x07", {"osc52:"}},
    {"OSC without a number", "\x1b]title\x07\x1b]\x07", {"oscfail:-1 malformed", "oscfail:-1 malformed"}},
    {"OSC nobody handles", "\x1b]777;notify;a;b\x07", {"oscfail:777 unknown"}},
    {"OSC over its limit", "\x1b]0;12345678901234567\x07\x1b]0;1234567890123456\x07", {"oscfail:0 too long", "osc0:1234567890123456"}},
    {"OSC cancelled", "\x1b]0;title\x18x", {"print:x"}},
    {"C1 bytes and UTF-8 in OSC are payload", "\x1b]0;\xc3\xa9\x9c\x84\x07", {"osc0:\xc3\xa9\x9c\x84"}},
    {"C0 controls in OSC are dropped", "\x1b]0;a\rb\x07", {"osc0:ab"}},
    {"DCS", "\x1bP$qm\x1b\\", {"hook:$ q [0]", "unhook:m"}},
    {"DCS payload with C0 and C1 bytes", "\x1bP1$qa\nb\x9c" "c\x1b\\", {"hook:$ q [1]", "unhook:a\nb\x9c" "c"}},
    {"DCS cancelled", "\x1bP$qab\x18x", {"hook:$ q [0]", "cancel", "print:x"}},
    {"DCS over its limit", "\x1bP$q123456789\x1b\\", {"hook:$ q [0]", "cancel", "dcsfail:$ q too long"}},
    {"unknown DCS clears the active handler", "\x1bP$qa\x1bP+qb\x1b\\", {"hook:$ q [0]", "unhook:a", "dcsfail:+ q unknown"}},
    {"SOS, PM and APC are skipped", "\x1bXa\x9c\x1b\\\x1b^b\x1b\\\x1b_c\x07\x1b\\x", {"print:x"}},
};

TEST(Parser, DispatchesEachKindOfInput)
{
    for (const Case& c : cases)
        EXPECT_EQ(parsed(c.input), c.expected) << c.name;
}

TEST(Parser, SplitFeedsGiveTheSameCalls)
{
    for (const Case& c : cases) {
        const std::string_view input = c.input;
        for (std::size_t at = 0; at < input.size(); ++at)
            EXPECT_EQ(parsed(input, at), c.expected) << c.name << ", split at " << at;
    }
}

TEST(Parser, AStringSplitAcrossFeedsArrivesOnce)
{
    Recorder r;
    r.parser.parse(std::string_view("\x1b]0;t\xc3"));
    r.parser.parse(std::string_view("\xa9tre\x1b"));
    r.parser.parse(std::string_view("\\"));
    EXPECT_EQ(r.log, std::vector<std::string>{"osc0:t\xc3\xa9tre"});
}

TEST(Parser, ResetCancelsAStringInProgress)
{
    Recorder r;
    r.parser.parse(std::string_view("\x1bP$qab"));
    r.parser.reset();
    r.parser.parse(std::string_view("c\x1b\\"));
    EXPECT_EQ(r.log, (std::vector<std::string>{"hook:$ q [0]", "cancel", "print:c"}));
}

TEST(Parser, LongStringsKeepMemoryBounded)
{
    Recorder r;
    const std::string chunk(64 * 1024, 'x');
    r.parser.parse(std::string_view("\x1b]0;"));
    for (int i = 0; i < 16; ++i) {
        r.parser.parse(chunk);
        EXPECT_LE(r.parser.pendingBytes(), 16u);
    }
    r.parser.parse(std::string_view("\x07"));
    EXPECT_EQ(r.log, std::vector<std::string>{"oscfail:0 too long"});
}

} // namespace
} // namespace terminal
