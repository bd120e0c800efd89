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
    // The file viewer's share of the width beside the chat pane. Absent (or not a number) reads
    // as 0.5; any stored number is returned as it is.
    double detailSplitFraction() const;
    void setDetailSplitFraction(double fraction) const;
};

} // namespace quillora
