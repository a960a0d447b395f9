#pragma once
// The client's record of one page, shared by the files that make up
// QtHttpClient and by no one else.
#include "net/qt_http_client.h"

#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace larkspire {

// One page asked for, fetched ahead or waited for.

struct QtHttpClient::Job {
    explicit Job(QUrl u) : url(std::move(u)) {}
    enum class State { Queued, Running, Waiting, Done };
    QUrl url;
    State state = State::Queued;
    HttpResult result;              // an ok one's body is in `page` until get() decodes it
    PageBody page;
    int retries = 0;
    bool declining = false;         // this request carries the answer to the consent form
    bool askedAgain = false;        // sent again after the form was declined
    int sentInRound = 0;            // how many declines were complete when it was sent
    QUrl direct;                    // sent straight to where the service's hop leads, past it
    bool pastHop = true;            // may be sent that way
    QUrl pageAddress;               // sent to the page's own address after the quote URL's 404
    bool triedPageAddress = false;  // asked there (or past the hop) once already
    HttpResult firstAnswer;         // the quote URL's 404 meanwhile
    PageTransfer* transfer = nullptr;
    std::unique_ptr<QTimer> timer;  // the wait the service asked for
    QEventLoop* loop = nullptr;     // get() waits for this page
};

} // namespace larkspire
