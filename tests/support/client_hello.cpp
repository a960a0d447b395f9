#include "support/client_hello.h"

#include <QTcpSocket>

#include <optional>

namespace larkspire::test {

namespace {

// Reads big-endian numbers and length-prefixed pieces; a read past the end
// marks the reader bad and gives zeros.
struct Reader {
    QByteArray bytes;
    qsizetype at = 0;
    bool bad = false;
    quint32 number(int size)
    {
        quint32 v = 0;
        for (int i = 0; i < size; ++i) {
            if (at >= bytes.size()) {
                bad = true;
                return 0;
            }
            v = (v << 8) | quint8(bytes[at++]);
        }
        return v;
    }
    Reader piece(int lengthSize)
    {
        const qsizetype n = number(lengthSize);
        if (bad || at + n > bytes.size()) {
            bad = true;
            return {};
        }
        Reader r{bytes.mid(at, n)};
        at += n;
        return r;
    }
    bool done() const { return at >= bytes.size(); }
    QList<quint16> codes()
    {
        QList<quint16> out;
        while (!done() && !bad)
            out << quint16(number(2));
        return out;
    }
};

} // namespace

std::optional<ClientHello> parseClientHello(const QByteArray& record)
{
    Reader r{record};
    if (r.number(1) != 0x16)
        return std::nullopt;
    r.number(2);
    Reader handshake = r.piece(2);
    if (r.bad || handshake.number(1) != 1)
        return std::nullopt;
    Reader hello = handshake.piece(3);
    ClientHello out;
    hello.number(2);  // legacy version
    hello.at += 32;   // random
    hello.piece(1);   // session id
    out.cipherSuites = hello.piece(2).codes();
    hello.piece(1);   // compression methods
    Reader extensions = hello.piece(2);
    while (!extensions.done() && !extensions.bad) {
        const quint32 type = extensions.number(2);
        out.extensions << quint16(type);
        Reader data = extensions.piece(2);
        switch (type) {
        case 0: { // server_name
            Reader list = data.piece(2);
            list.number(1);
            out.serverName = list.piece(2).bytes;
            break;
        }
        case 10: out.groups = data.piece(2).codes(); break;
        case 13: out.signatureAlgorithms = data.piece(2).codes(); break;
        case 16: {
            Reader list = data.piece(2);
            while (!list.done() && !list.bad)
                out.alpn << list.piece(1).bytes;
            break;
        }
        case 43: out.versions = data.piece(1).codes(); break;
        default: break;
        }
    }
    if (hello.bad || extensions.bad)
        return std::nullopt;
    return out;
}

HandshakeCatcher::HandshakeCatcher()
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
                QByteArray connectLine = socket->property("connect").toByteArray();
                if (buffer.startsWith("CONNECT ") && connectLine.isEmpty()) {
                    const qsizetype end = buffer.indexOf("\r\n\r\n");
                    if (end < 0) {
                        socket->setProperty("buffer", buffer);
                        return;
                    }
                    connectLine = buffer.left(buffer.indexOf("\r\n"));
                    socket->setProperty("connect", connectLine);
                    buffer.remove(0, end + 4);
                    socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
                }
                socket->setProperty("buffer", buffer);
                if (buffer.size() < 5 || buffer.size() < 5 + ((quint8(buffer[3]) << 8) | quint8(buffer[4])))
                    return;
                if (auto hello = parseClientHello(buffer)) {
                    hello->connectLine = connectLine;
                    m_hellos << *hello;
                }
                socket->abort();
                socket->deleteLater();
            });
        }
    });
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("the handshake catcher cannot listen on 127.0.0.1");
}

} // namespace larkspire::test
