#include "support/quote_server.h"

#include <algorithm>

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <sys/socket.h>
#include <zlib.h>

namespace larkspire::test {

QuoteServer::QuoteServer(std::function<Response(const Request&)> handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &QuoteServer::onConnection);
    connect(&m_linkTimer, &QTimer::timeout, this, &QuoteServer::sendOnLink);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the test server cannot listen on 127.0.0.1");
}

QuoteServer::~QuoteServer() = default;

int QuoteServer::openConnections() const
{
    int open = 0;
    for (const QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
        open += socket->state() == QAbstractSocket::ConnectedState;
    return open;
}

QString QuoteServer::symbolOf(const Request& request)
{
    // A request through a proxy names the whole address.
    const QUrl url = request.target.startsWith("http") ? QUrl::fromEncoded(request.target)
                                                       : QUrl::fromEncoded("http://x" + request.target);
    return QUrlQuery(url).queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded);
}

void QuoteServer::onConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setProperty("acceptOrder", ++m_accepted);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void QuoteServer::onReadable(QTcpSocket* socket)
{
    // Answering can close the socket: keep the unread bytes in a local.
    QPointer<QTcpSocket> guard(socket);
    QByteArray buffer = m_buffers.take(socket) + socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                m_buffers.insert(socket, buffer);
            return;
        }
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) {
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
                request.headerOrder << lines[i].left(colon).trimmed().toLower();
            }
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() - end - 4 < length) { // the rest of the body is still on its way
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                m_buffers.insert(socket, buffer);
            return;
        }
        request.body = buffer.mid(end + 4, length);
        m_used.insert(socket->property("acceptOrder").toULongLong());
        buffer.remove(0, end + 4 + length);
        m_requests.append(request);
        const Response response = m_handler(request);
        if (response.delayMs > 0) {
            QTimer::singleShot(response.delayMs, this, [this, guard, response] {
                if (guard)
                    respond(guard, response);
            });
        } else {
            respond(socket, response);
        }
        if (!guard || guard->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void QuoteServer::respond(QTcpSocket* socket, const Response& response)
{
    const QByteArray body = response.gzip ? gzipBytes(response.body) : response.body;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.gzip)
        head += "Content-Encoding: gzip\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
    if (response.stallMidBody || response.resetMidBody || response.closeMidBody) {
        socket->write(head + body.left(body.size() / 2));
        socket->flush();
        if (response.resetMidBody) {
            // Linger zero: the close sends a reset instead of an orderly end.
            const linger l{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
            socket->abort();
        } else if (response.closeMidBody) {
            socket->disconnectFromHost();
        }
        return;
    }
    if (m_linkRate > 0) {
        m_onLink.push_back({socket, head + body});
        if (!m_linkTimer.isActive()) {
            m_linkClock.start();
            m_linkBudget = 0;
            m_linkTimer.start(1);
        }
        return;
    }
    if (response.trickleBytes > 0) {
        socket->write(head);
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = qsizetype(0),
                                                           piece = qsizetype(response.trickleBytes)]() mutable {
            socket->write(body.mid(sent, piece));
            sent += piece;
            if (sent >= body.size())
                timer->deleteLater();
        });
        timer->start(response.trickleMs);
        return;
    }
    socket->write(head + body);
}

void QuoteServer::sendOnLink()
{
    m_linkBudget += double(m_linkRate) * double(m_linkClock.nsecsElapsed()) / 1e9;
    m_linkClock.restart();
    // Fair shares; what a nearly done answer leaves goes to the others.
    for (size_t waiting = m_onLink.size(); waiting > 0 && m_linkBudget >= 1; waiting = m_onLink.size()) {
        const qsizetype share = std::max<qsizetype>(1, qsizetype(m_linkBudget / double(waiting)));
        for (OnLink& o : m_onLink) {
            const qsizetype piece = std::min(share, o.bytes.size() - o.sent);
            if (o.socket)
                o.socket->write(o.bytes.constData() + o.sent, piece);
            o.sent += piece;
            m_linkBudget -= double(piece);
        }
        m_onLink.erase(std::remove_if(m_onLink.begin(), m_onLink.end(),
                                      [](const OnLink& o) { return !o.socket || o.sent >= o.bytes.size(); }),
                       m_onLink.end());
        if (m_linkBudget < double(waiting))
            break;
    }
    if (m_onLink.empty())
        m_linkTimer.stop();
}

QByteArray gzipBytes(const QByteArray& data) { return deflateBytes(data, 15 + 16); }

QByteArray deflateBytes(const QByteArray& data, int windowBits)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(data.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

} // namespace larkspire::test
