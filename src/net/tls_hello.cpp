#include "net/tls_hello.h"

#include <QSslSocket>

#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/tls1.h>

#include <atomic>
#include <mutex>
#include <set>

namespace larkspire {

namespace {

std::atomic<bool> g_ready{false};
// The contexts alive: Qt sets NPN on one after it made the connection, and
// then makes the connection's BIOs, the last objects made before the hello.
std::mutex g_contextsMutex;
std::set<SSL_CTX*> g_liveContexts;
std::atomic<int> g_contexts{0};
std::atomic<int> g_connections{0};

// A context as it is made: ask for OCSP stapling and SCTs as Chrome does,
// never failing a handshake whose server sends neither.
void onNewContext(void* parent, void*, CRYPTO_EX_DATA*, int, long, void*)
{
    auto* ctx = static_cast<SSL_CTX*>(parent);
    if (!ctx)
        return;
    SSL_CTX_set_tlsext_status_type(ctx, TLSEXT_STATUSTYPE_ocsp);
    if (SSL_CTX_enable_ct(ctx, SSL_CT_VALIDATION_PERMISSIVE) == 1)
        ++g_contexts;
    const std::lock_guard<std::mutex> lock(g_contextsMutex);
    g_liveContexts.insert(ctx);
}

void onContextFreed(void* parent, void*, CRYPTO_EX_DATA*, int, long, void*)
{
    const std::lock_guard<std::mutex> lock(g_contextsMutex);
    g_liveContexts.erase(static_cast<SSL_CTX*>(parent));
}

// A BIO as it is made: Qt makes a connection's BIOs after setting NPN on its
// context; NPN is taken off again before the hello is written.
void onNewBio(void*, void*, CRYPTO_EX_DATA*, int, long, void*)
{
    const std::lock_guard<std::mutex> lock(g_contextsMutex);
    for (SSL_CTX* ctx : g_liveContexts)
        SSL_CTX_set_next_proto_select_cb(ctx, nullptr, nullptr);
}

// A connection as it is made, after Qt set its context's options: no
// padding, no encrypt_then_mac.
void onNewConnection(void* parent, void*, CRYPTO_EX_DATA*, int, long, void*)
{
    auto* ssl = static_cast<SSL*>(parent);
    if (!ssl)
        return;
    SSL_clear_options(ssl, SSL_OP_TLSEXT_PADDING);
    SSL_set_options(ssl, SSL_OP_NO_ENCRYPT_THEN_MAC);
    ++g_connections;
}

} // namespace

bool shapeTlsHelloLikeChrome()
{
    static const bool ready = [] {
        // Only where Qt's TLS plugin runs on the very libssl linked here:
        // another one would never call these callbacks, or be changed blind.
        const QString runtime = QSslSocket::sslLibraryVersionString();
        const QString linked = QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION));
        if (runtime.isEmpty() || runtime != linked || OpenSSL_version_num() < 0x30000000L)
            return false;
        const int contextIndex = SSL_CTX_get_ex_new_index(0, nullptr, onNewContext, nullptr, onContextFreed);
        const int connectionIndex = SSL_get_ex_new_index(0, nullptr, onNewConnection, nullptr, nullptr);
        const int bioIndex = CRYPTO_get_ex_new_index(CRYPTO_EX_INDEX_BIO, 0, nullptr, onNewBio, nullptr, nullptr);
        return contextIndex >= 0 && connectionIndex >= 0 && bioIndex >= 0;
    }();
    g_ready = ready;
    return ready;
}

QString tlsHelloState()
{
    if (!g_ready)
        return QStringLiteral("as OpenSSL makes it (the change closer to Chrome's cannot be made with ") +
               QSslSocket::sslLibraryVersionString() + QLatin1Char(')');
    if (g_connections == 0)
        return QStringLiteral("closer to Chrome's (no TLS connection made yet)");
    return QStringLiteral("closer to Chrome's: no NPN, padding or encrypt_then_mac; status_request and "
                          "signed_certificate_timestamp asked for");
}

} // namespace larkspire
