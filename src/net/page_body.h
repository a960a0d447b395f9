#pragma once
// A page's body as it came over the wire, with the Content-Type that says
// how to read it. The client keeps pages this way until they are asked for:
// a page fetched ahead takes its bytes, not twice as much again as text,
// and the questions the client asks of every page are answered from the
// bytes. The memory of bodies is kept for the next pages (PageBuffers).
#include "net/service_rules.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace larkspire {

struct PageBody {
    QByteArray bytes;
    QByteArray contentType;
};

// The text of the body, as decodeBody makes it.
QString textOf(const PageBody& body);
// Whether the body is the service's consent form, as the rules tell it from
// the text: each "<form" tag alone is decoded where the bytes allow.
bool isConsentBody(const PageBody& body, const ServiceRules& rules);
// Whether the body's text names the key, as the rules tell it from the
// first 256 K characters: only they are decoded, into `head`.
bool bodyNamesKey(const PageBody& body, const ServiceRules& rules, const QString& key, QString& head);

// Memory for bodies and their text, used again page after page so that a
// run does not ask the system for fresh memory for every page. A buffer far
// larger than pages are (a hostile answer) is let go rather than kept.
class PageBuffers final {
public:
    // An empty buffer, with the memory of an earlier body when one is kept.
    QByteArray bytes();
    void giveBack(QByteArray bytes);
    // Text memory: what get() decodes a page into.
    QString text();
    void giveBack(QString text);
    // Memory for a page's head, read on its own.
    QString& head();

private:
    std::vector<QByteArray> m_bytes;
    QString m_text;
    QString m_head;
};

} // namespace larkspire
