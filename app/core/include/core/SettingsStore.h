#pragma once

#include <platform/UserDefaults.h>

#include <memory>

namespace quillora {

// The window's switches in the user defaults.
struct SettingsStore {
    std::shared_ptr<platform::UserDefaults> defaults;

    explicit SettingsStore(std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard());

    // Absent (or not a Boolean) reads as true.
    bool showTerminal() const;
    void setShowTerminal(bool show) const;
    // Absent (or not a Boolean) reads as false.
    bool showHiddenFilesInTree() const;
    void setShowHiddenFilesInTree(bool show) const;
};

} // namespace quillora
