#pragma once

#include <QString>

namespace platform {

// The system log (syslog) under the ident "Quillora". Messages carry their category in front.
class SystemLog {
public:
    enum class Type { Debug, Info, Error };

    // Whether the process's log mask lets messages of this type through.
    static bool isEnabled(Type type);
    static void write(Type type, const QString& category, const QString& message);
};

} // namespace platform
