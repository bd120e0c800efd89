#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <utility>

class QTcpSocket;

namespace testsupport {

// A small HTTP/1.1 server on 127.0.0.1 for tests: answers each path with scripted responses
// (status, headers, body, delay, truncation, pace) and records every request it receives, with its
// method, headers and body. Paths without a script get a 404.
class HttpServer : public QObject {
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
        // Sends the body in this many pieces, `pieceDelayMs` apart: a slow transfer that moves.
        int pieces = 1;
        int pieceDelayMs = 0;
    };

    struct Request {
        QByteArray method;
        QByteArray path; // with the query, as sent
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QList<std::pair<QByteArray, QByteArray>> headerFields; // every field as sent, names in lower case
        QByteArray body;
    };

    ~HttpServer() override;

    // Listens on 127.0.0.1, on `port` or an ephemeral port when 0.
    bool listen(quint16 port = 0);
    void close();
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;

    // Every request for `path` gets `response`.
    void setResponse(const QByteArray& path, const Response& response) { setResponses(path, {response}); }
    // The n-th request for `path` gets the n-th response; later ones get the last.
    void setResponses(const QByteArray& path, const QList<Response>& responses);

    int requestCount(const QByteArray& path) const;
    QList<Request> requests() const { return m_requests; }
    QList<Request> requests(const QByteArray& path) const;

private:
    struct Script {
        QList<Response> responses;
        qsizetype answered = 0;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    Response nextResponse(const QByteArray& path);
    static void respond(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    QHash<QByteArray, Script> m_scripts;
    QList<Request> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace testsupport
