#include "web/status_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {
namespace {

// The template as the browser must receive it, line by line.
const std::vector<std::string> kTemplateLines = {
    "<html>",
    "<head>",
    "  <meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>",
    "  <meta http-equiv=\"Refresh\" content=\"2\"/>",
    "  <title>Kelvarian</title>",
    "</head>",
    "<body>",
    "<table style=\"text-align: left; width: 100%;\" border=\"1\"",
    " cellpadding=\"2\" cellspacing=\"2\">",
    "  <tbody>",
    "    <tr>",
    "      <td style=\"text-align: center; font-weight: bold;\">Датчик</td>",
    "      <td style=\"text-align: center; font-weight: bold;\">Температура</td>",
    "    </tr>",
    "<!--TABLE-->",
    "  </tbody>",
    "</table>",
    "<br>",
    "</body>",
    "</html>",
};

// The template with line 15 holding `rows` instead of the mark.
std::string expectedPage(std::string_view rows) {
    std::string page;
    for (std::size_t i = 0; i < kTemplateLines.size(); ++i) {
        if (i > 0) page += "\r\n";
        page += i == 14 ? std::string(rows) : kTemplateLines[i];
    }
    return page;
}

std::string rowText(std::string_view name, std::string_view value) {
    return "<tr><td style=\"text-align: center;\">" + std::string(name) +
           "</td><td style=\"text-align: center;\">" + std::string(value) + "</td></tr>";
}

std::string builtPage(const std::vector<PageRow>& rows) {
    BuildStatusPage(rows);
    const std::string* page = CurrentStatusPage();
    return page ? *page : std::string("<no page>");
}

TEST(StatusPage, TemplateIsTwentyLinesOf522Bytes) {
    const std::string withMark = expectedPage("<!--TABLE-->");
    EXPECT_EQ(withMark.size(), 522u);
    EXPECT_EQ(withMark.substr(withMark.size() - 10), ">\r\n</html>");
}

TEST(StatusPage, IsMissingUntilFirstBuilt) {
    ForgetStatusPage();
    EXPECT_EQ(CurrentStatusPage(), nullptr);
    BuildStatusPage({});
    EXPECT_NE(CurrentStatusPage(), nullptr);
}

TEST(StatusPage, WithoutSensorsHoldsOnlyTheHeaderRow) {
    const std::string page = builtPage({});
    EXPECT_EQ(page, expectedPage(""));
    EXPECT_EQ(page.size(), 510u);
    EXPECT_EQ(page.find('\0'), std::string::npos);
}

TEST(StatusPage, RowsShareLineFifteenInDisplayOrder) {
    const std::string page =
        builtPage({{"Котёл", "21.5 °C"}, {"Улица", "Не найден"}, {"Подвал", "-0.5 °C"}});
    EXPECT_EQ(page, expectedPage(rowText("Котёл", "21.5 °C") + rowText("Улица", "Не найден") +
                                 rowText("Подвал", "-0.5 °C")));
}

TEST(StatusPage, RebuildingReplacesTheRows) {
    builtPage({{"Старый", "1.0 °C"}});
    EXPECT_EQ(builtPage({{"Новый", "2.0 °C"}}), expectedPage(rowText("Новый", "2.0 °C")));
}

TEST(StatusPage, TextIsUtf8) {
    const std::string page = builtPage({});
    const std::string_view sensor = "Датчик";
    EXPECT_EQ(sensor.size(), 12u);
    EXPECT_EQ(page.substr(page.find(">Датчик<") + 1, 12),
              "\xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA");
}

struct EscapeCase {
    std::string_view raw;
    std::string_view shown;
};

class PageText : public testing::TestWithParam<EscapeCase> {};

TEST_P(PageText, IsEscapedInNamesAndValues) {
    const std::string page =
        builtPage({{std::string(GetParam().raw), std::string(GetParam().raw)}});
    EXPECT_EQ(page, expectedPage(rowText(GetParam().shown, GetParam().shown)));
}

INSTANTIATE_TEST_SUITE_P(HtmlCharacters, PageText,
                         testing::Values(EscapeCase{"Котёл <кухня>", "Котёл &lt;кухня&gt;"},
                                         EscapeCase{"A & B", "A &amp; B"},
                                         EscapeCase{"\"big\" room", "&quot;big&quot; room"},
                                         EscapeCase{"<script>alert(1)</script>",
                                                    "&lt;script&gt;alert(1)&lt;/script&gt;"},
                                         EscapeCase{"&amp;", "&amp;amp;"},
                                         EscapeCase{"<!--TABLE-->", "&lt;!--TABLE--&gt;"},
                                         EscapeCase{"it's 5°", "it's 5°"}));

}  // namespace
}  // namespace web
