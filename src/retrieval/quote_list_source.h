#pragma once
// The service's own quote list as a source: fifty symbols a request, with
// the crumb its cookie earns. The crumb is kept with the cookies and used by
// the next run at once; until a page of the run has brought the cookie (or
// one is kept) the list is not asked. A refused crumb costs one page and one
// more crumb; a second refusal, a "slow down", or two failing requests give
// the list up for the run, and every symbol it did not give goes to its page.
#include "quotes/number_format.h"
#include "retrieval/quote_source.h"

#include <QHash>
#include <QSet>

#include <deque>

namespace larkspire {

class QuoteListSource final : public QuoteSource {
public:
    QuoteListSource(HttpClient& http, QString quoteHost);

    std::optional<SymbolOutcome> take(const QString& upperSymbol, const QStringList& next,
                                      const std::function<void(const QList<QUrl>&)>& nameAhead) override;
    QList<QUrl> ahead() const override;
    bool mayGive(const QString& upperSymbol) const override;
    bool settled() const override { return m_answered || m_givenUp; }
    void pageCame(const HttpResult& page) override;

    // What the list did, for --check.
    enum class Crumb { None, Kept, Fetched, Refused };
    struct Report {
        QUrl asked;          // the last list address, the crumb's value left out
        Crumb crumb = Crumb::None;
        int status = 0;      // its answer's HTTP status (0: none came)
        QString error;       // why it gave nothing, when it did not
        bool givenUp = false;
    };
    const Report& report() const { return m_report; }

private:
    struct Group {
        QUrl url;
        QStringList symbols;
    };
    bool haveCrumb();
    void formGroup(const QStringList& symbols);
    void answered(const Group& group, const HttpResult& result);
    void failed(const QString& why);
    void giveUp(const QString& why);
    QString scheme() const;

    HttpClient& m_http;
    QString m_quoteHost;
    QString m_host;            // query1, or query2 once query1 could not be reached
    NumberFormats m_formats;
    KeptToken m_crumb;
    QString m_pageScheme;      // the scheme a page of the run came by
    bool m_pageCame = false;
    bool m_needPage = false;   // a refused crumb: the next page brings a fresh cookie first
    bool m_refusedOnce = false;
    bool m_answered = false;
    bool m_givenUp = false;
    int m_failures = 0;
    QHash<QString, Quote> m_quotes; // what came, by symbol
    QSet<QString> m_asked;          // every symbol asked once
    std::deque<Group> m_pending;    // asked or named ahead, not yet answered
    Report m_report;
};

} // namespace larkspire
