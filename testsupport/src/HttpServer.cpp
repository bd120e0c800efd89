#include "testsupport/HttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace testsupport {

HttpServer::~HttpServer()
{
    // The sockets die with the server member, after this object's own members are gone.
    const auto sockets = m_server.findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets)
        socket->disconnect(this);
}

bool HttpServer::listen(quint16 port)
{
    if (!m_server.isListening()) {
        connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection, Qt::UniqueConnection);
    }
    return m_server.listen(QHostAddress::LocalHost, port);
}

void HttpServer::close()
{
    m_server.close();
}

QUrl HttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void HttpServer::setResponses(const QByteArray& path, const QList<Response>& responses)
{
    m_scripts[path] = Script{responses, 0};
}

int HttpServer::requestCount(const QByteArray& path) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const Request& request) { return request.path == path; }));
}

QList<HttpServer::Request> HttpServer::requests(const QByteArray& path) const
{
    QList<Request> found;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(found),
                 [&](const Request& request) { return request.path == path; });
    return found;
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    // One request per round: its head, then as many body bytes as its Content-Length says.
    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.insert(name, value);
            request.headerFields.append({name, value});
        }
        const qsizetype bodyLength = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < end + 4 + bodyLength)
            return; // the rest of the body is still on its way
        request.body = buffer.mid(end + 4, bodyLength);
        buffer.remove(0, end + 4 + bodyLength);
        m_requests.append(request);

        const Response response = nextResponse(request.path);
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, socket, [socket, response] { respond(socket, response); });
        else
            respond(socket, response);
    }
}

HttpServer::Response HttpServer::nextResponse(const QByteArray& path)
{
    const auto found = m_scripts.find(path);
    if (found == m_scripts.end() || found->responses.isEmpty()) {
        Response missing;
        missing.status = 404;
        return missing;
    }
    Script& script = *found;
    return script.responses.at(std::min(script.answered++, script.responses.size() - 1));
}

void HttpServer::respond(QTcpSocket* socket, const Response& response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    if (response.closeDelimited)
        head += "Connection: close\r\n";
    else
        head += "Content-Length: "
            + QByteArray::number(response.declaredLength >= 0 ? response.declaredLength : response.body.size())
            + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    const bool closes = response.closeDelimited || response.declaredLength > response.body.size();
    const int pieces = std::max(1, response.pieces);
    const qsizetype pieceSize = (response.body.size() + pieces - 1) / pieces;
    socket->write(head + "\r\n" + response.body.first(std::min(pieceSize, response.body.size())));
    for (int piece = 1; piece < pieces; ++piece) {
        const QByteArray part = response.body.mid(piece * pieceSize, pieceSize);
        const bool last = piece == pieces - 1;
        QTimer::singleShot(piece * response.pieceDelayMs, socket, [socket, part, last, closes] {
            socket->write(part);
            if (last && closes)
                socket->disconnectFromHost();
        });
    }
    if (pieces == 1 && closes)
        socket->disconnectFromHost();
}

} // namespace testsupport
