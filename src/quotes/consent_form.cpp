#include "quotes/consent_form.h"

#include "quotes/quote_page.h"
#include "quotes/text_search.h"

#include <QMap>
#include <QStringList>
#include <QUrl>

namespace larkspire {

namespace {

bool isSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

// The attributes of one tag ("<input type=hidden name='a' value=\"b\">"):
// names in lower case, values with character references decoded.
QMap<QString, QString> tagAttributes(QStringView tag)
{
    QMap<QString, QString> out;
    qsizetype i = 0;
    const qsizetype n = tag.size();
    if (i < n && tag[i] == u'<')
        ++i;
    while (i < n && !isSpace(tag[i]) && tag[i] != u'>' && tag[i] != u'/')
        ++i; // the tag's name
    while (i < n) {
        while (i < n && (isSpace(tag[i]) || tag[i] == u'/'))
            ++i;
        if (i >= n || tag[i] == u'>')
            break;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(tag[i]) && tag[i] != u'=' && tag[i] != u'>' && tag[i] != u'/')
            ++i;
        const QString name = tag.mid(nameStart, i - nameStart).toString().toLower();
        while (i < n && isSpace(tag[i]))
            ++i;
        QString value;
        if (i < n && tag[i] == u'=') {
            ++i;
            while (i < n && isSpace(tag[i]))
                ++i;
            if (i < n && (tag[i] == u'"' || tag[i] == u'\'')) {
                const QChar quote = tag[i++];
                const qsizetype valueStart = i;
                while (i < n && tag[i] != quote)
                    ++i;
                value = tag.mid(valueStart, i - valueStart).toString();
                if (i < n)
                    ++i;
            } else {
                const qsizetype valueStart = i;
                while (i < n && !isSpace(tag[i]) && tag[i] != u'>')
                    ++i;
                value = tag.mid(valueStart, i - valueStart).toString();
            }
        }
        if (!name.isEmpty() && !out.contains(name))
            out.insert(name, DecodeCharacterReferences(value));
    }
    return out;
}

// application/x-www-form-urlencoded: letters, digits and "*-._" as they
// are, a blank as "+", everything else as %XX of its UTF-8 bytes.
QByteArray formEncode(const QString& text)
{
    return QUrl::toPercentEncoding(text, "*", "~").replace("%20", "+");
}

} // namespace

bool IsConsentFormTag(QStringView tag)
{
    const auto attributes = tagAttributes(tag);
    return attributes.value(QStringLiteral("class")).split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("consent-form"));
}

namespace {

// The form tag whose class list holds "consent-form": where the tag starts
// and ends; (-1, -1) when there is none.
std::pair<qsizetype, qsizetype> consentFormTag(QStringView page)
{
    static const CaseInsensitiveSearch formOpen(u"<form");
    for (qsizetype at = formOpen.indexIn(page); at >= 0; at = formOpen.indexIn(page, at + 1)) {
        const qsizetype end = page.indexOf(u'>', at);
        if (end < 0)
            return {-1, -1};
        if (IsConsentFormTag(page.mid(at, end + 1 - at)))
            return {at, end};
        at = end;
    }
    return {-1, -1};
}

} // namespace

bool IsConsentPage(const QString& page) { return consentFormTag(page).first >= 0; }

std::optional<ConsentDecline> DeclineConsentForm(const QString& page)
{
    const QStringView text(page);
    const auto [formStart, formTagEnd] = consentFormTag(text);
    if (formStart < 0)
        return std::nullopt;
    ConsentDecline decline;
    decline.action = tagAttributes(text.mid(formStart, formTagEnd + 1 - formStart)).value(QStringLiteral("action"));
    qsizetype formEnd = indexOfIgnoringCase(text, u"</form", formTagEnd);
    if (formEnd < 0)
        formEnd = text.size();
    const QStringView form = text.mid(formTagEnd + 1, formEnd - formTagEnd - 1);

    // The hidden fields in the order the form gives them, and whether it
    // has a button that rejects.
    static const CaseInsensitiveSearch inputOpen(u"<input");
    static const CaseInsensitiveSearch buttonOpen(u"<button");
    QByteArray fields;
    bool canReject = false;
    for (const CaseInsensitiveSearch* kind : {&inputOpen, &buttonOpen}) {
        for (qsizetype at = kind->indexIn(form); at >= 0; at = kind->indexIn(form, at + 1)) {
            const qsizetype end = form.indexOf(u'>', at);
            if (end < 0)
                break;
            const auto attributes = tagAttributes(form.mid(at, end + 1 - at));
            const QString name = attributes.value(QStringLiteral("name"));
            const QString type = attributes.value(QStringLiteral("type")).toLower();
            // Only named inputs that carry a value go with the answer.
            if (kind == &inputOpen && type == QStringLiteral("hidden") && !name.isEmpty() &&
                !attributes.value(QStringLiteral("value")).isEmpty() && name != QStringLiteral("agree")) {
                if (!fields.isEmpty())
                    fields += '&';
                fields += formEncode(name) + '=' + formEncode(attributes.value(QStringLiteral("value")));
            } else if (name == QStringLiteral("reject") && type != QStringLiteral("hidden")) {
                canReject = true;
            }
            at = end;
        }
    }
    if (fields.isEmpty() || !canReject)
        return std::nullopt;
    decline.body = fields + "&reject=reject";
    return decline;
}

} // namespace larkspire
