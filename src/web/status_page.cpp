#include "web/status_page.h"

#include <optional>
#include <string_view>
#include <utility>

#include "web/text_escape.h"

namespace web {
namespace {

// 522 bytes: 20 lines joined by CR LF, none after the last. The rows replace
// the mark on line 15.
constexpr std::string_view kPageTemplate =
    "<html>\r\n"
    "<head>\r\n"
    "  <meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>\r\n"
    "  <meta http-equiv=\"Refresh\" content=\"2\"/>\r\n"
    "  <title>Kelvarian</title>\r\n"
    "</head>\r\n"
    "<body>\r\n"
    "<table style=\"text-align: left; width: 100%;\" border=\"1\"\r\n"
    " cellpadding=\"2\" cellspacing=\"2\">\r\n"
    "  <tbody>\r\n"
    "    <tr>\r\n"
    "      <td style=\"text-align: center; font-weight: bold;\">Датчик</td>\r\n"
    "      <td style=\"text-align: center; font-weight: bold;\">Температура</td>\r\n"
    "    </tr>\r\n"
    "<!--TABLE-->\r\n"
    "  </tbody>\r\n"
    "</table>\r\n"
    "<br>\r\n"
    "</body>\r\n"
    "</html>";
static_assert(kPageTemplate.size() == 522);

constexpr std::string_view kRowsMark = "<!--TABLE-->";

// Only the user-interface thread builds and reads the page.
std::optional<std::string> currentPage;

std::string rowsText(const std::vector<PageRow>& rows) {
    std::string text;
    for (const PageRow& row : rows) {
        text += "<tr><td style=\"text-align: center;\">";
        // Names are typed by the user; unescaped they could break the table or
        // inject script into every browser watching the page.
        AppendHtmlEscaped(text, row.name);
        text += "</td><td style=\"text-align: center;\">";
        AppendHtmlEscaped(text, row.value);
        text += "</td></tr>";
    }
    return text;
}

}  // namespace

void BuildStatusPage(const std::vector<PageRow>& rows) {
    currentPage.reset();
    std::string page(kPageTemplate);
    page.replace(page.find(kRowsMark), kRowsMark.size(), rowsText(rows));
    currentPage = std::move(page);
}

const std::string* CurrentStatusPage() {
    return currentPage ? &*currentPage : nullptr;
}

void ForgetStatusPage() {
    currentPage.reset();
}

}  // namespace web
