#pragma once
// The quote service's rules as its HTTP client applies them: its own hosts
// and ports, the domain of its cookies, its consent form and how it is
// declined, and its redirect hop (the symbol asked in "s=", a page that
// names it, the page's own address after a 404).
#include "net/service_rules.h"

#include <QString>

namespace larkspire {

ServiceRules quoteServiceRules(const QString& quoteHost);

} // namespace larkspire
