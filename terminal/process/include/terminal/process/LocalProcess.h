#pragma once

#include "terminal/process/PseudoTerminal.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace terminal {

class LocalProcess;

// The owner of a LocalProcess. Every call comes on the thread the process lives in.
class LocalProcessDelegate {
public:
    // The child has ended, once per child: its exit status, or 128 plus the signal that ended
    // it. All its output read before the end has been delivered first.
    virtual void processTerminated(LocalProcess& source, std::optional<int> exitCode) = 0;
    // Bytes freshly read from the child, in order, never empty; at most LocalProcess::readSize
    // per call.
    virtual void dataReceived(std::span<const std::uint8_t> slice) = 0;
    // The window size the child's terminal starts with.
    virtual WindowSize getWindowSize() = 0;

protected:
    ~LocalProcessDelegate() = default;
};

// Bytes typed into the shell at release: an interrupt for a program in the foreground, then a
// line that ends the shell.
inline constexpr std::string_view stopBytes = "\x03"
                                              "exit\n";

// Runs one child program on a pseudo-terminal, on the thread it lives in: reads the child's
// output when it is ready and hands it to the delegate, writes the owner's bytes in order
// without blocking, and reports the child's end. Releasing it (or destroying it) hands the
// child to a process-wide reaper that ends and reaps it without blocking the caller.
class LocalProcess : public QObject {
    Q_OBJECT
public:
    // Most bytes read and delivered per wake-up.
    static constexpr std::size_t readSize = 0x20000;
    // Bytes waiting to be written beyond which further keys and replies are dropped.
    static constexpr std::size_t maxQueuedInput = std::size_t(1) << 20;
    // Bytes of pasted text waiting to be written beyond which a paste is refused.
    static constexpr std::size_t maxQueuedPaste = std::size_t(16) << 20;

    enum class SendKind { input, paste };
    enum class SendResult {
        queued,     // written or waiting, in order
        notRunning, // no child: nothing written
        dropped,    // input while too much is waiting
        refused,    // a paste that would put too much in waiting
    };

    // The delegate must outlive the process or be cleared with setDelegate(nullptr).
    explicit LocalProcess(LocalProcessDelegate* delegate, QObject* parent = nullptr);
    ~LocalProcess() override;

    void setDelegate(LocalProcessDelegate* delegate) { delegate_ = delegate; }

    // Starts `executable` with `args` (without the zeroth, which is `execName` or else the
    // executable), exactly `environment` (or terminalEnvironment("xterm-256color", true)) and in
    // `currentDirectory` when given. Does nothing while a child runs; success shows in running().
    void startProcess(const std::string& executable, const std::vector<std::string>& args,
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt,
                      const std::optional<std::string>& currentDirectory = std::nullopt);

    // Queues `data` for the child (copied; the caller may reuse its buffer at once).
    SendResult send(std::span<const std::uint8_t> data, SendKind kind = SendKind::input);
    SendResult send(std::string_view text, SendKind kind = SendKind::input);
    // Sends `text` when the child reads its terminal: as soon as it has printed and has turned
    // the terminal's line mode off (a shell's line editor is up), or once it has printed and
    // then been quiet for `quiet` (a shell without a line editor, or a login message with
    // nothing after it); at the latest after `fallback`. A send before then sends it first. A
    // line typed before a shell's line editor is up is echoed by the terminal, and then again
    // by the editor.
    void sendWhenReading(std::string text, std::chrono::milliseconds quiet, std::chrono::milliseconds fallback);

    // SIGTERM to the child; its end is reported as usual.
    void terminate();

    // Lets go of the child: types the stop bytes, and hands the child and the terminal to the
    // reaper, which hangs it up and kills its process group if it does not end by itself. No
    // delegate call follows; the instance may start another child. Returns at once.
    void release();

    // Applies a new window size to the running child's terminal (rows and columns clamped to
    // 1...65535); nothing when no child runs.
    void setWindowSize(WindowSize size);

    // Folder into which every chunk read is also written, as log-0, log-1, ...; nothing stops it.
    void setHostLogging(std::optional<std::string> directory) { loggingDir_ = std::move(directory); }
    // Prints every send, write and read on standard output.
    void setDebugIO(bool on) { debugIO_ = on; }

    int childfd() const { return masterFd_; }
    pid_t shellPid() const { return pid_; }
    bool running() const { return running_; }
    std::size_t sendCount() const { return sendCount_; }
    std::size_t totalWritten() const { return total_; }
    std::size_t totalRead() const { return totalRead_; }
    std::size_t queuedBytes() const { return queuedInput_ + queuedPaste_; }

    // Released children the reaper has not yet reaped, in the whole process.
    static int pendingReleases();

private:
    struct Pending {
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
        SendKind kind = SendKind::input;
        std::size_t index = 0; // its number among the sends, for the debug lines
    };

    void readAvailable(bool drain);
    void deliver(std::span<const std::uint8_t> chunk);
    void dump(std::span<const std::uint8_t> chunk);
    void endOutput();
    void writePending();
    void dropPending();
    void sendHeldText();
    void sendHeldTextWhenReading();
    bool terminalInLineMode() const;
    void childMayHaveExited();
    void closeMaster();

    LocalProcessDelegate* delegate_;
    int masterFd_ = -1;
    pid_t pid_ = 0;
    int pidfd_ = -1;
    bool running_ = false;
    bool reaped_ = true;
    bool debugIO_ = false;
    std::size_t sendCount_ = 0;
    std::size_t total_ = 0;
    std::size_t totalRead_ = 0;
    std::size_t logFileCounter_ = 0;
    std::optional<std::string> loggingDir_;

    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<QSocketNotifier> exitNotifier_;
    std::unique_ptr<QTimer> exitPoll_;
    std::deque<Pending> pending_;
    std::size_t queuedInput_ = 0;
    std::size_t queuedPaste_ = 0;
    std::vector<std::uint8_t> readBuffer_;
    // Waiting for the child to read its terminal (sendWhenReading).
    bool sawOutput_ = false;
    std::optional<std::string> heldText_;
    std::chrono::milliseconds heldQuiet_{};
    QDeadlineTimer heldDeadline_;
    std::unique_ptr<QTimer> heldTextTimer_;
};

} // namespace terminal
