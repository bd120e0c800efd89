#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

// An environment as a list of NAME=value texts, in order.
using EnvironmentList = std::vector<std::string>;

// This process's environment.
EnvironmentList currentEnvironment();

// The value of `name` in `environment` (its first entry), or nothing.
std::optional<std::string> environmentValue(const EnvironmentList& environment, std::string_view name);

// Removes every entry of `name` and appends NAME=value at the end.
void setEnvironmentValue(EnvironmentList& environment, std::string_view name, std::string_view value);

// Whether the C library accepts `locale` and its characters are UTF-8.
bool isUtf8Locale(const std::string& locale);

// The environment of a program on a terminal of `termName`: TERM, COLORTERM=truecolor when
// `trueColor`, LANG (the host's when it names a UTF-8 locale, else C.UTF-8), then from `host`
// when set there: LOGNAME, USER, DISPLAY, LC_CTYPE, HOME, the other LC_ variables (LC_CTYPE and
// the others only when they name UTF-8 locales; C and POSIX pass for the categories other than
// LC_ALL), SSH_AUTH_SOCK, the XDG_ variables, DBUS_SESSION_BUS_ADDRESS, WAYLAND_DISPLAY and
// XAUTHORITY. Nothing else of the host is copied.
EnvironmentList terminalEnvironment(const std::optional<std::string>& termName, bool trueColor,
                                    const EnvironmentList& host = currentEnvironment());

} // namespace terminal
