#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

// A Unix socket bound at `path`, which puts a socket file there for tests of special files.
// The socket is closed on destruction; the file stays.
class SocketFile {
public:
    explicit SocketFile(const QString& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        if (m_fd < 0 || std::size_t(encoded.size()) >= sizeof(address.sun_path))
            return;
        std::copy(encoded.begin(), encoded.end(), address.sun_path);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~SocketFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SocketFile(const SocketFile&) = delete;
    SocketFile& operator=(const SocketFile&) = delete;

    // Whether the socket file was made.
    bool isBound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

} // namespace testsupport
