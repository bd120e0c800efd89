#pragma once

#include <array>
#include <string_view>

namespace terminal {

// The bytes a terminal front end sends for keys without a plain character. The App forms are
// those of application-cursor mode (Terminal::modes().applicationCursor).
namespace EscapeSequences {
inline constexpr std::string_view moveUpNormal = "\x1b[A";
inline constexpr std::string_view moveDownNormal = "\x1b[B";
inline constexpr std::string_view moveRightNormal = "\x1b[C";
inline constexpr std::string_view moveLeftNormal = "\x1b[D";
inline constexpr std::string_view moveUpApp = "\x1bOA";
inline constexpr std::string_view moveDownApp = "\x1bOB";
inline constexpr std::string_view moveRightApp = "\x1bOC";
inline constexpr std::string_view moveLeftApp = "\x1bOD";
inline constexpr std::string_view moveHomeNormal = "\x1b[H";
inline constexpr std::string_view moveEndNormal = "\x1b[F";
inline constexpr std::string_view moveHomeApp = "\x1bOH";
inline constexpr std::string_view moveEndApp = "\x1bOF";
inline constexpr std::string_view cmdNewLine = "\n";
inline constexpr std::string_view cmdRet = "\r";
inline constexpr std::string_view cmdEsc = "\x1b";
inline constexpr std::string_view cmdDel = "\x7f";
inline constexpr std::string_view cmdDelKey = "\x1b[3~";
inline constexpr std::string_view cmdTab = "\t";
inline constexpr std::string_view cmdBackTab = "\x1b[Z";
inline constexpr std::string_view cmdPageUp = "\x1b[5~";
inline constexpr std::string_view cmdPageDown = "\x1b[6~";
inline constexpr std::string_view cmdInsert = "\x1b[2~";
inline constexpr std::string_view emacsBack = "\x1b"
                                              "b";
inline constexpr std::string_view emacsForward = "\x1b"
                                                 "f";
inline constexpr std::string_view controlLeft = "\x1b[1;5D";
inline constexpr std::string_view controlRight = "\x1b[1;5C";
// F1 to F12.
inline constexpr std::array<std::string_view, 12> cmdF = {
    "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1b[15~", "\x1b[17~", "\x1b[18~", "\x1b[19~", "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~",
};
} // namespace EscapeSequences

// Whether replies use 8-bit C1 introducers (0x9B) or their 7-bit forms (ESC [).
struct CC {
    bool send8bit = false;

    std::string_view csi() const { return send8bit ? "\x9b" : "\x1b["; }
    std::string_view dcs() const { return send8bit ? "\x90" : "\x1bP"; }
    std::string_view osc() const { return send8bit ? "\x9d" : "\x1b]"; }
    std::string_view st() const { return send8bit ? "\x9c" : "\x1b\\"; }
};

} // namespace terminal
