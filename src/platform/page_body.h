#pragma once
// A page's body as it came over the wire, with the Content-Type that says
// how to read it. The client keeps pages this way until they are asked for:
// a page fetched ahead takes its bytes, not twice as much again as text,
// and the questions the client asks of every page are answered from the
// bytes. The memory of bodies is kept for the next pages (PageBuffers).
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
// IsConsentPage of its text.
bool isConsentBody(const PageBody& body);
// pageNamesSymbol of its text: only its head is decoded, into `head`.
bool bodyNamesSymbol(const PageBody& body, const QString& upperSymbol, QString& head);

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
