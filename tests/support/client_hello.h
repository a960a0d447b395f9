#pragma once
// A stand-in for a TLS server on 127.0.0.1 that only listens: it answers a
// proxy's CONNECT (or takes a direct connection), reads the client's first
// TLS record in clear, parses the ClientHello and closes the connection.
// What the client offered is kept for the test to compare.
#include <QByteArray>
#include <QList>
#include <QTcpServer>

namespace larkspire::test {

struct ClientHello {
    QByteArray connectLine;     // "CONNECT host:443 HTTP/1.1", when it came through a proxy
    QByteArray serverName;      // SNI
    QList<quint16> cipherSuites;
    QList<quint16> groups;
    QList<quint16> signatureAlgorithms;
    QList<quint16> versions;    // supported_versions
    QList<QByteArray> alpn;
    QList<quint16> extensions;  // every extension's type, in the order sent
};

// The ClientHello of one TLS record (5-byte header included); nothing when
// the bytes are not a whole one.
std::optional<ClientHello> parseClientHello(const QByteArray& record);

class HandshakeCatcher final : public QObject {
public:
    HandshakeCatcher();
    quint16 port() const { return m_server.serverPort(); }
    const QList<ClientHello>& hellos() const { return m_hellos; }

private:
    QTcpServer m_server;
    QList<ClientHello> m_hellos;
};

} // namespace larkspire::test
