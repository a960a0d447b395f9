#!/usr/bin/env python3
"""A local stand-in for the quote service, for scripts/screenshots.

Listens on 127.0.0.1 and answers requests sent to it as to a proxy (absolute
URL) or directly. It behaves as the service does for a visitor from the EU:
a quote request without the consent cookie is sent to the cookie consent
form; the declined form sets the cookie and leads back to the quote, a page
of today's layout (the figures in an embedded data fetch) for the symbol in
the "s" query value. A visitor holding the cookie gets a crumb from
/v1/test/getcrumb and the quote list (/v7/finance/quote) for it, from the same
values as the pages. A symbol starting with NOSUCH is unknown: 404, and left
out of the list. Each quote waits DELAY seconds, so that the window can be
seen while it is busy. What the form was answered with goes to stderr.
"""
import html
import http.server
import json
import random
import sys
import time
import urllib.parse

DELAY = float(sys.argv[2]) if len(sys.argv) > 2 else 0.0
NAMES = {
    "GOOG": "Alphabet Inc.",
    "MSFT": "Microsoft Corporation",
    "NHY.OL": "Norsk Hydro ASA",
}


CRUMB = "local/crumb.1"


def figures(symbol):
    """The name and the figures of a symbol, the same for its page and the list."""
    rnd = random.Random(symbol)
    price = rnd.uniform(20, 400)
    name = NAMES.get(symbol, symbol.title() + " Holdings")
    return name, [
        ("regularMarketOpen", "%.2f" % (price * 0.99)),
        ("averageDailyVolume3Month", "%d" % rnd.randint(10**6, 9 * 10**7)),
        ("regularMarketDayHigh", "%.2f" % (price * 1.02)),
        ("regularMarketPreviousClose", "%.2f" % (price * 0.985)),
        ("postMarketPrice", "%.2f" % (price * 1.003)),
        ("regularMarketDayLow", "%.2f" % (price * 0.97)),
        ("regularMarketVolume", "%d" % rnd.randint(10**5, 5 * 10**7)),
        ("marketCap", "%d" % rnd.randint(10**9, 2 * 10**12)),
    ]


def quote_list(symbols):
    result = []
    for symbol in symbols:
        if symbol.startswith("NOSUCH"):
            continue
        name, values = figures(symbol)
        obj = '{"symbol":%s,"shortName":%s,"quoteType":"EQUITY","currency":"USD"' % (json.dumps(symbol), json.dumps(name))
        obj += "".join(',"%s":%s' % (key, raw) for key, raw in values) + "}"
        result.append(obj)
    return ('{"quoteResponse":{"result":[%s],"error":null}}' % ",".join(result)).encode("utf-8")


def page(symbol):
    name, values = figures(symbol)

    def value(raw):
        return '{"raw":%s,"fmt":"%s"}' % (raw, raw)

    price_object = ",".join('"%s":%s' % (key, value(raw)) for key, raw in values)
    body = '{"quoteSummary":{"result":[{"price":{"maxAge":1,%s,"shortName":%s}}],"error":null}}' % (
        price_object,
        json.dumps(name),
    )
    url = "https://query1.finance.yahoo.com/v10/finance/quoteSummary/%s?formatted=true&modules=price&lang=en-US" % (
        urllib.parse.quote(symbol)
    )
    return (
        "<!DOCTYPE html><html><head><title>%s (%s) Stock Price, News, Quote &amp; History - Yahoo Finance</title>"
        "</head>\n<body><h1>Yahoo Finance</h1>\n"
        '<script type="application/json" data-sveltekit-fetched data-url="%s" data-ttl="1">%s</script>\n'
        "</body></html>\n"
        % (
            html.escape(name, quote=False),
            html.escape(symbol),
            html.escape(url),
            json.dumps({"status": 200, "statusText": "OK", "headers": {}, "body": body}, separators=(",", ":")),
        )
    ).encode("utf-8")


def consent_page(done_url):
    return (
        "<!DOCTYPE html><html><head><title>Yahoo is part of the Yahoo family of brands</title></head><body>"
        '<form method="post" class="consent-form" action="">'
        '<input type="hidden" name="csrfToken" value="local-token">'
        '<input type="hidden" name="sessionId" value="3_cc-session_local">'
        '<input type="hidden" name="originalDoneUrl" value="%s">'
        '<input type="hidden" name="namespace" value="yahoo">'
        '<button type="submit" name="agree" value="agree">Accept all</button>'
        '<button type="submit" name="reject" value="reject">Reject all</button>'
        "</form></body></html>\n" % html.escape(done_url)
    ).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if url.path.endswith("/collectConsent"):
            self.reply(200, consent_page(query.get("done", [""])[0]))
            return
        if "A1=declined" not in self.headers.get("Cookie", ""):
            done = "http://finance.yahoo.com/q?" + url.query + "&guccounter=1"
            consent = "http://consent.yahoo.com/v2/collectConsent?sessionId=3_cc-session_local&" + urllib.parse.urlencode(
                {"done": done}
            )
            self.reply(302, headers=[("Location", consent)])
            return
        if url.path == "/v1/test/getcrumb":
            self.reply(200, CRUMB.encode("utf-8"))
            return
        if url.path == "/v7/finance/quote":
            if query.get("crumb", [""])[0] != CRUMB:
                self.reply(401, b'{"finance":{"result":null,"error":{"code":"Unauthorized","description":"Invalid Crumb"}}}')
                return
            time.sleep(DELAY)
            self.reply(200, quote_list(query.get("symbols", [""])[0].split(",")))
            return
        time.sleep(DELAY)
        symbol = query.get("s", [""])[0]
        if symbol.startswith("NOSUCH"):
            self.reply(404, b"<html><title>Symbol Lookup</title>Requested symbol wasn't found</html>")
            return
        self.reply(200, page(symbol))

    def do_POST(self):
        form = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode("utf-8")
        print("consent form answered with: " + form, file=sys.stderr)
        fields = urllib.parse.parse_qs(form)
        if fields.get("reject") != ["reject"] or "agree" in fields:
            self.reply(400)
            return
        cookie = "A1=declined; Domain=.yahoo.com; Path=/"
        self.reply(302, headers=[("Location", fields["originalDoneUrl"][0]), ("Set-Cookie", cookie)])

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.serve_forever()
