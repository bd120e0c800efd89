#include "TestHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

TestHttpServer::~TestHttpServer()
{
    // The sockets die with the server member, after this object's own members are gone.
    const auto sockets = m_server.findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets)
        socket->disconnect(this);
}

bool TestHttpServer::listen(quint16 port)
{
    if (!m_server.isListening()) {
        connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection,
                Qt::UniqueConnection);
    }
    return m_server.listen(QHostAddress::LocalHost, port);
}

void TestHttpServer::close()
{
    m_server.close();
}

QUrl TestHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

int TestHttpServer::requestCount(const QByteArray& path) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const Request& request) { return request.path == path; }));
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_pending[socket];
    buffer += socket->readAll();
    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        m_requests.append(request);
        Response response;
        if (const auto found = m_responses.constFind(request.path); found != m_responses.constEnd())
            response = *found;
        else
            response.status = 404;
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, socket, [this, socket, response] { respond(socket, response); });
        else
            respond(socket, response);
    }
}

void TestHttpServer::respond(QTcpSocket* socket, const Response& response)
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
    socket->write(head + "\r\n" + response.body);
    if (response.closeDelimited || response.declaredLength > response.body.size())
        socket->disconnectFromHost();
}
