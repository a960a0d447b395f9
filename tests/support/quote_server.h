#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks, answering
// from a handler on the test's own thread (the client's waiting loop serves
// it). It can delay, stall, cut a body off, redirect and send gzip, and it
// reads the bodies of form posts.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <vector>

#include <functional>

namespace larkspire::test {

struct Response {
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "text/html; charset=utf-8"}};
    QByteArray body;
    int delayMs = 0;
    bool gzip = false;         // compress the body and say so
    bool stallMidBody = false; // send half the body, then nothing more
    bool resetMidBody = false; // send half the body, then reset the connection
    bool closeMidBody = false; // send half the body, then close the connection in order
    int trickleBytes = 0;      // send the body in pieces of this many bytes,
    int trickleMs = 0;         // one every this many milliseconds (a slow link)
};

struct Request {
    QByteArray method;
    QByteArray target; // path and query as sent
    QMap<QByteArray, QByteArray> headers; // lower-case names
    QList<QByteArray> headerOrder;        // the same names, as they came
    QByteArray body;
};

class QuoteServer final : public QObject {
    Q_OBJECT
public:
    explicit QuoteServer(std::function<Response(const Request&)> handler, QObject* parent = nullptr);
    ~QuoteServer() override;
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(port()); }
    const QList<Request>& requests() const { return m_requests; }
    // Connections a client holds open to the server now.
    int openConnections() const;
    // Connections accepted so far, and how many of them sent a request.
    int acceptedConnections() const { return m_accepted; }
    int connectionsWithARequest() const { return int(m_used.size()); }
    // The answers share one link of this many bytes a second (0: none), in
    // fair shares among the connections sending, as a user's line does.
    void setLinkBytesPerSecond(qint64 rate) { m_linkRate = rate; }
    // The symbol asked for in a request's "s" query value, decoded.
    static QString symbolOf(const Request& request);

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    std::function<Response(const Request&)> m_handler;
    QList<Request> m_requests;
    QMap<QTcpSocket*, QByteArray> m_buffers;
    int m_accepted = 0;
    struct OnLink {
        QPointer<QTcpSocket> socket;
        QByteArray bytes;
        qsizetype sent = 0;
    };
    void sendOnLink();
    qint64 m_linkRate = 0;
    std::vector<OnLink> m_onLink;
    QTimer m_linkTimer;
    QElapsedTimer m_linkClock;
    double m_linkBudget = 0;
    QSet<quintptr> m_used; // by accept order
};

// gzip bytes of the given data (zlib through Qt).
QByteArray gzipBytes(const QByteArray& data);
// Deflated bytes with zlib's window bits: 15 + 16 gzip, 15 zlib-wrapped, -15 raw.
QByteArray deflateBytes(const QByteArray& data, int windowBits);

} // namespace larkspire::test
