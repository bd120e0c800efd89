#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests: answers each path with a canned response
// (status, headers, body, delay, truncation) and records every request it receives.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        int delayMs = 0;
        // Sends this Content-Length but only the body, then closes: a transfer cut short.
        qint64 declaredLength = -1;
        // Sends no Content-Length; the body ends when the connection closes.
        bool closeDelimited = false;
    };

    struct Request {
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    ~TestHttpServer() override;

    // Listens on 127.0.0.1, on `port` or an ephemeral port when 0.
    bool listen(quint16 port = 0);
    void close();
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;

    void setResponse(const QByteArray& path, const Response& response) { m_responses[path] = response; }
    int requestCount(const QByteArray& path) const;
    QList<Request> requests() const { return m_requests; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    QList<Request> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
