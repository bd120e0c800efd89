#pragma once

#include <QUrl>

#include <functional>
#include <optional>

namespace quillora {

// Asks the user for a project folder in a free-standing dialog that blocks nothing else.
class DirectoryPickerService {
public:
    // Returns at once; `completion` runs on the main thread with the chosen folder, or with
    // nothing when the dialog was cancelled.
    void pickDirectory(std::function<void(std::optional<QUrl>)> completion);
};

} // namespace quillora
