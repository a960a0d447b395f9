#!/usr/bin/env python3
"""A local stand-in for the quote service, for scripts/screenshots.

Listens on 127.0.0.1 and answers every GET, whether sent as to a proxy
(absolute URL) or directly, with a small quote page for the symbol in the
"s" query value. Each answer waits DELAY seconds, so that the window can be
seen while it is busy.
"""
import http.server
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


def page(symbol):
    rnd = random.Random(symbol)
    price = rnd.uniform(20, 400)
    name = NAMES.get(symbol, symbol.title() + " Holdings")

    def value(raw):
        return '{"raw":%s,"fmt":"%s"}' % (raw, raw)

    store = ",".join(
        '"%s":%s' % (key, value(raw))
        for key, raw in [
            ("regularMarketOpen", "%.2f" % (price * 0.99)),
            ("averageDailyVolume3Month", "%d" % rnd.randint(10**6, 9 * 10**7)),
            ("regularMarketDayHigh", "%.2f" % (price * 1.02)),
            ("regularMarketPreviousClose", "%.2f" % (price * 0.985)),
            ("postMarketPrice", "%.2f" % (price * 1.003)),
            ("regularMarketDayLow", "%.2f" % (price * 0.97)),
            ("regularMarketVolume", "%d" % rnd.randint(10**5, 5 * 10**7)),
            ("marketCap", "%d" % rnd.randint(10**9, 2 * 10**12)),
        ]
    )
    return (
        "<!DOCTYPE html><html><head><title>%s : Summary for %s - Yahoo Finance</title></head>\n"
        '<body><script>root.App.main = {"context":{"dispatcher":{"stores":{"QuoteSummaryStore":{"price":{%s}}}}}};'
        "</script></body></html>\n" % (symbol, name.replace("&", "&amp;"), store)
    ).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        symbol = query.get("s", [""])[0]
        time.sleep(DELAY)
        body = page(symbol)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.serve_forever()
