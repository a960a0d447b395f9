#pragma once
// The TLS hello closer to Chrome's than Qt and OpenSSL make it on their own:
// no NPN (Qt adds it with ALPN), no padding extension and no
// encrypt_then_mac (OpenSSL's), and status_request and
// signed_certificate_timestamp asked for as Chrome asks (a server that sends
// neither is fine). Qt's TLS plugin makes its OpenSSL objects itself; the
// change is made on them as they are made, through OpenSSL's ex_data
// callbacks, in the same libssl the plugin loads.
#include <QString>

namespace larkspire {

// Sets the change up once for the process; false (and the hello as OpenSSL
// makes it) when it cannot be made: Qt's TLS library is not the libssl this
// program was built with.
bool shapeTlsHelloLikeChrome();

// For --check: whether the hello of the connections made so far was shaped,
// in words.
QString tlsHelloState();

} // namespace larkspire
