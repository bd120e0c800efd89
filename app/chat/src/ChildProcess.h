#pragma once

#include <QProcess>

namespace quillora::chat {

// Makes the child of `process` start in a session and process group of its own, with the
// default signal dispositions and mask, no inherited descriptor but 0 to 2, and SIGTERM should
// the thread that starts it (the application's) die.
void isolateChild(QProcess& process);

} // namespace quillora::chat
