#pragma once

#include <cstdint>

namespace terminal {

// A mouse button as reports name it; the value is its code in a report. `none` is what motion
// with no button held reports.
enum class MouseButton : std::uint8_t {
    left = 0,
    middle = 1,
    right = 2,
    none = 3,
    wheelUp = 64,
    wheelDown = 65,
    wheelLeft = 66,
    wheelRight = 67,
    back = 128,
    forward = 129,
};

constexpr bool isWheel(MouseButton button)
{
    return button >= MouseButton::wheelUp && button <= MouseButton::wheelRight;
}

// One thing the mouse did over the terminal, in cells (0-based, from the top-left of the screen)
// and in pixels from the same corner (reported only by the SGR-pixel encoding). A wheel step is
// a press of its wheel button; motion carries the button held down, or none.
struct MouseEvent {
    enum class Action : std::uint8_t { press, release, motion };

    Action action = Action::press;
    MouseButton button = MouseButton::left;
    bool shift = false;
    bool meta = false;
    bool control = false;
    int col = 0;
    int row = 0;
    int pixelX = 0;
    int pixelY = 0;
};

} // namespace terminal
