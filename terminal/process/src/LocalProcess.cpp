#include "terminal/process/LocalProcess.h"

#include "ProcessTesting.h"
#include "Reaper.h"
#include "terminal/Log.h"
#include "terminal/process/ShellEnvironment.h"

#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <termios.h>
#include <unistd.h>

namespace terminal {

namespace {

std::atomic<bool> pidfdAllowed{true};

// Rounds of reading after the child has ended: what it wrote before its end is in the
// terminal's buffer, which holds far less than this.
constexpr int drainRounds = 8;

constexpr int exitPollMs = 50;

void debugLine(const std::string& line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

std::string describe(std::span<const std::uint8_t> bytes)
{
    std::string text = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            text += ", ";
        text += std::to_string(bytes[i]);
    }
    return text + "]";
}

} // namespace

void testing::setPidfdAllowed(bool allowed)
{
    pidfdAllowed = allowed;
}

LocalProcess::LocalProcess(LocalProcessDelegate* delegate, QObject* parent)
    : QObject(parent)
    , delegate_(delegate)
{
}

LocalProcess::~LocalProcess()
{
    release();
}

int LocalProcess::pendingReleases()
{
    return reaper::pending();
}

void LocalProcess::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                const std::optional<std::vector<std::string>>& environment,
                                const std::optional<std::string>& execName,
                                const std::optional<std::string>& currentDirectory)
{
    if (running_)
        return;
    release(); // a child whose output ended before it did
    const WindowSize size = delegate_ ? delegate_->getWindowSize() : WindowSize{};
    std::vector<std::string> argv;
    argv.reserve(args.size() + 1);
    argv.push_back(execName.value_or(executable));
    argv.insert(argv.end(), args.begin(), args.end());
    const auto child = pseudo_terminal::spawn(
        executable, argv, environment ? *environment : terminalEnvironment("xterm-256color", true),
        currentDirectory, size);
    if (!child)
        return;
    pid_ = child->pid;
    masterFd_ = child->masterFd;
    running_ = true;
    sawOutput_ = false;
    reaped_ = false;

    // The C library's header for this call lacks C linkage in C++; the call is a bare system call.
    pidfd_ = pidfdAllowed ? static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)) : -1;
    if (pidfd_ >= 0) {
        exitNotifier_ = std::make_unique<QSocketNotifier>(pidfd_, QSocketNotifier::Read);
        connect(exitNotifier_.get(), &QSocketNotifier::activated, this, &LocalProcess::childMayHaveExited);
    } else {
        exitPoll_ = std::make_unique<QTimer>();
        connect(exitPoll_.get(), &QTimer::timeout, this, &LocalProcess::childMayHaveExited);
        exitPoll_->start(exitPollMs);
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { readAvailable(false); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(masterFd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &LocalProcess::writePending);
}

void LocalProcess::readAvailable(bool drain)
{
    const QPointer<LocalProcess> self(this);
    readBuffer_.resize(readSize);
    for (int round = 0; masterFd_ >= 0 && round < (drain ? drainRounds : 1); ++round) {
        std::size_t length = 0;
        bool ended = false;
        while (length < readSize) {
            const ssize_t n = ::read(masterFd_, readBuffer_.data() + length, readSize - length);
            if (n > 0) {
                length += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                // EAGAIN: all read for now. EIO (or 0): every holder of the other side is gone.
                ended = !(n < 0 && errno == EAGAIN);
                break;
            }
        }
        if (length) {
            deliver(std::span(readBuffer_.data(), length));
            if (!self)
                return;
            sendHeldTextWhenReading();
        }
        if (ended) {
            endOutput();
            return;
        }
        if (length < readSize)
            return;
    }
}

void LocalProcess::deliver(std::span<const std::uint8_t> chunk)
{
    totalRead_ += chunk.size();
    sawOutput_ = true;
    if (debugIO_) {
        debugLine("[READ] count=" + std::to_string(chunk.size()) + " received from host total="
                  + std::to_string(totalRead_));
    }
    if (loggingDir_)
        dump(chunk);
    if (delegate_)
        delegate_->dataReceived(chunk);
}

void LocalProcess::dump(std::span<const std::uint8_t> chunk)
{
    const std::string path = *loggingDir_ + "/log-" + std::to_string(logFileCounter_);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool written = fd >= 0;
    for (std::size_t done = 0; written && done < chunk.size();) {
        const ssize_t n = ::write(fd, chunk.data() + done, chunk.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    const int error = errno;
    if (fd >= 0 && ::close(fd) != 0)
        written = false;
    if (written)
        ++logFileCounter_;
    else
        logDiagnostic("Got error while logging data dump to " + path + ": " + std::strerror(error));
}

void LocalProcess::endOutput()
{
    closeMaster();
    running_ = false;
}

void LocalProcess::closeMaster()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    dropPending();
    if (masterFd_ >= 0)
        ::close(masterFd_);
    masterFd_ = -1;
}

void LocalProcess::childMayHaveExited()
{
    int status = 0;
    pid_t result;
    do
        result = ::waitpid(pid_, &status, WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == 0)
        return;
    exitNotifier_.reset();
    exitPoll_.reset();
    if (pidfd_ >= 0)
        ::close(pidfd_);
    pidfd_ = -1;
    reaped_ = true;

    const QPointer<LocalProcess> self(this);
    readAvailable(true);
    if (!self)
        return;
    // ECHILD: someone else reaped it, and its status is lost.
    const std::optional<int> code = result == pid_ ? std::optional(pseudo_terminal::decodeWaitStatus(status))
                                                   : std::nullopt;
    if (delegate_)
        delegate_->processTerminated(*this, code);
    if (!self)
        return;
    running_ = false;
    dropPending();
}

void LocalProcess::release()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    exitNotifier_.reset();
    exitPoll_.reset();
    dropPending();
    if (!reaped_) {
        reaper::release(pid_, pidfd_, masterFd_, running_ ? stopBytes : std::string_view());
        pidfd_ = -1;
        masterFd_ = -1;
        reaped_ = true;
    }
    closeMaster();
    running_ = false;
    pid_ = 0;
}

void LocalProcess::terminate()
{
    if (!reaped_ && pid_ > 0)
        ::kill(pid_, SIGTERM);
}

void LocalProcess::setWindowSize(WindowSize size)
{
    if (running_ && masterFd_ >= 0)
        pseudo_terminal::setWindowSize(masterFd_, size);
}

LocalProcess::SendResult LocalProcess::send(std::string_view text, SendKind kind)
{
    return send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), kind);
}

LocalProcess::SendResult LocalProcess::send(std::span<const std::uint8_t> data, SendKind kind)
{
    if (!running_ || masterFd_ < 0)
        return SendResult::notRunning;
    // What was sent first goes first.
    sendHeldText();
    if (kind == SendKind::input && queuedInput_ + data.size() > maxQueuedInput) {
        logDiagnostic("Dropped " + std::to_string(data.size())
                      + " bytes for the child: it has not read the 1 MiB already waiting");
        return SendResult::dropped;
    }
    if (kind == SendKind::paste && queuedPaste_ + data.size() > maxQueuedPaste) {
        logDiagnostic("Refused a paste of " + std::to_string(data.size())
                      + " bytes: more than 16 MiB would be waiting for the child");
        return SendResult::refused;
    }
    const std::size_t index = sendCount_++;
    if (debugIO_)
        debugLine("[SEND-" + std::to_string(index) + "] Queuing data to client: " + describe(data) + " ");
    if (data.empty())
        return SendResult::queued;
    pending_.push_back(Pending{std::vector<std::uint8_t>(data.begin(), data.end()), 0, kind, index});
    (kind == SendKind::input ? queuedInput_ : queuedPaste_) += data.size();
    if (pending_.size() == 1)
        writePending();
    return SendResult::queued;
}

void LocalProcess::writePending()
{
    while (!pending_.empty() && masterFd_ >= 0) {
        Pending& front = pending_.front();
        const ssize_t n = ::write(masterFd_, front.bytes.data() + front.offset, front.bytes.size() - front.offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            writeNotifier_->setEnabled(true);
            return;
        }
        if (n < 0) {
            logDiagnostic("Error writing data to the child, errno=" + std::to_string(errno));
            dropPending();
            break;
        }
        front.offset += static_cast<std::size_t>(n);
        total_ += static_cast<std::size_t>(n);
        (front.kind == SendKind::input ? queuedInput_ : queuedPaste_) -= static_cast<std::size_t>(n);
        if (front.offset == front.bytes.size()) {
            if (debugIO_)
                debugLine("[SEND-" + std::to_string(front.index) + "] completed bytes=" + std::to_string(total_));
            pending_.pop_front();
        }
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
}

void LocalProcess::sendWhenReading(std::string text, std::chrono::milliseconds quiet, std::chrono::milliseconds fallback)
{
    if (!running_)
        return;
    heldText_ = std::move(text);
    heldQuiet_ = quiet;
    heldDeadline_ = QDeadlineTimer(fallback);
    if (!heldTextTimer_) {
        heldTextTimer_ = std::make_unique<QTimer>();
        heldTextTimer_->setSingleShot(true);
        connect(heldTextTimer_.get(), &QTimer::timeout, this, &LocalProcess::sendHeldText);
    }
    sendHeldTextWhenReading();
}

// Line mode off is the sign of a line editor reading the terminal (the terminal no longer
// echoes); the pseudo-terminal's two sides share their modes.
bool LocalProcess::terminalInLineMode() const
{
    termios modes{};
    return masterFd_ >= 0 && ::tcgetattr(masterFd_, &modes) == 0 && (modes.c_lflag & ICANON);
}

void LocalProcess::sendHeldTextWhenReading()
{
    if (!heldText_)
        return;
    if (sawOutput_ && !terminalInLineMode()) {
        sendHeldText();
        return;
    }
    const auto left = heldDeadline_.remainingTimeAsDuration();
    heldTextTimer_->start(std::chrono::duration_cast<std::chrono::milliseconds>(
        sawOutput_ ? std::min<std::chrono::nanoseconds>(heldQuiet_, left) : left));
}

void LocalProcess::sendHeldText()
{
    if (!heldText_)
        return;
    const std::string text = std::move(*heldText_);
    heldText_.reset();
    if (heldTextTimer_)
        heldTextTimer_->stop();
    send(text);
}

void LocalProcess::dropPending()
{
    heldText_.reset();
    if (heldTextTimer_)
        heldTextTimer_->stop();
    pending_.clear();
    queuedInput_ = 0;
    queuedPaste_ = 0;
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
}

} // namespace terminal
