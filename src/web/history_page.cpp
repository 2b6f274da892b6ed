#include "web/history_page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/utf8.h"
#include "web/history_columns.h"
#include "web/text_escape.h"
#include "web/time_text.h"

namespace web {
namespace {

// Chart geometry in SVG units: one unit of width per column.
constexpr double kLeft = 56;
constexpr double kTop = 24;
constexpr double kPlotWidth = static_cast<double>(kChartColumns);
constexpr double kPlotHeight = 360;
constexpr double kWidth = kLeft + kPlotWidth + 24;
constexpr double kHeight = kTop + kPlotHeight + 28;
constexpr std::int64_t kTimeTickSeconds = 3 * 3600;

// Ten colours that stay apart for the common kinds of colour blindness
// (Tableau 10); more sensors take them again.
constexpr std::array<std::string_view, 10> kColours = {
    "#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf",
};

constexpr std::string_view kPageHead =
    "<!DOCTYPE html>\r\n"
    "<html>\r\n"
    "<head>\r\n"
    "  <meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>\r\n"
    "  <meta http-equiv=\"Refresh\" content=\"60\"/>\r\n"
    "  <title>Kelvarian — история</title>\r\n"
    "  <style>\r\n"
    "    body { font-family: sans-serif; margin: 16px; }\r\n"
    "    svg { display: block; width: 100%; max-width: 1040px; height: auto; }\r\n"
    "    .grid { stroke: #ddd; stroke-width: 1; }\r\n"
    "    .frame { fill: none; stroke: #888; stroke-width: 1; }\r\n"
    "    .axis { fill: #333; font-size: 12px; }\r\n"
    "    .band { fill: #2ca02c; fill-opacity: 0.13; }\r\n"
    "    .line { fill: none; stroke-width: 1.6; stroke-linejoin: round;"
    " stroke-linecap: round; }\r\n"
    "    ul.legend { list-style: none; padding: 0; }\r\n"
    "    ul.legend li { display: inline-block; margin: 0 18px 6px 0; }\r\n"
    "    .swatch { display: inline-block; width: 18px; height: 4px; margin-right: 6px;"
    " vertical-align: middle; }\r\n"
    "    .rom { color: #777; font-size: smaller; }\r\n"
    "  </style>\r\n"
    "</head>\r\n"
    "<body>\r\n";

// The range of readings "Термо контроль" accepts, in °C. A reading is judged
// by its whole degrees truncated toward zero, so with a maximum of 25 every
// value below 26 passes and with a minimum of 0 every value above -1.
std::optional<std::array<double, 2>> permittedBand(const ThermoRange& thermo) {
    if (!thermo.on) return std::nullopt;
    const double low = thermo.min > 0 ? thermo.min : thermo.min - 1.0;
    const double high = thermo.max >= 0 ? thermo.max + 1.0 : thermo.max;
    if (low >= high) return std::nullopt;  // every reading is outside
    return std::array<double, 2>{low, high};
}

struct Line {
    NamedSeries named;
    std::vector<HistoryColumn> columns;
    std::int64_t joinLimitSeconds;
};

std::vector<Line> linesOf(const HistoryStore& store, const StatusSnapshot& snapshot,
                          const HistoryGrid& grid) {
    std::vector<Line> lines;
    for (NamedSeries& named : SeriesInListOrder(store, snapshot)) {
        std::vector<HistoryColumn> columns = ColumnsOf(*named.series, grid);
        const bool any = std::any_of(columns.begin(), columns.end(), [](const HistoryColumn& c) {
            return c.valid > 0 || c.faults > 0;
        });
        if (!any) continue;
        const std::int64_t limit = JoinLimitSeconds(*named.series, grid);
        lines.push_back(Line{std::move(named), std::move(columns), limit});
    }
    return lines;
}

// The value axis: whole steps of 1, 2 or 5 times a power of ten around the
// readings and the band.
struct ValueAxis {
    double low;
    double high;
    double step;

    [[nodiscard]] double y(double celsius) const {
        return kTop + kPlotHeight - (celsius - low) / (high - low) * kPlotHeight;
    }
};

ValueAxis valueAxis(const std::vector<Line>& lines,
                    const std::optional<std::array<double, 2>>& band) {
    double low = INFINITY;
    double high = -INFINITY;
    for (const Line& line : lines) {
        for (const HistoryColumn& column : line.columns) {
            if (column.valid == 0) continue;
            low = std::min(low, static_cast<double>(column.min));
            high = std::max(high, static_cast<double>(column.max));
        }
    }
    if (band) {
        low = std::min(low, (*band)[0]);
        high = std::max(high, (*band)[1]);
    }
    if (low > high) {  // nothing to show: a room's range
        low = 0;
        high = 30;
    }
    if (high - low < 2) {
        const double middle = (low + high) / 2;
        low = middle - 1;
        high = middle + 1;
    }
    const double rough = (high - low) / 6;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    }
    return ValueAxis{std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

double xOfColumn(std::size_t column) {
    return kLeft + static_cast<double>(column) + 0.5;
}

std::string point(double x, double y) {
    return FixedText(x, 1) + " " + FixedText(y, 1);
}

void appendValueAxis(std::string& out, const ValueAxis& axis) {
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(axis.step) - 1e-9)));
    const int steps = static_cast<int>(std::lround((axis.high - axis.low) / axis.step));
    for (int i = 0; i <= steps; ++i) {
        const double value = axis.low + axis.step * i;
        const std::string y = FixedText(axis.y(value), 1);
        out += "<line class=\"grid\" x1=\"" + FixedText(kLeft, 1) + "\" x2=\"" +
               FixedText(kLeft + kPlotWidth, 1) + "\" y1=\"" + y + "\" y2=\"" + y + "\"/>\r\n";
        out += "<text class=\"axis\" x=\"" + FixedText(kLeft - 6, 1) + "\" y=\"" + y +
               "\" dy=\"4\" text-anchor=\"end\">" + FixedText(value, decimals) + "</text>\r\n";
    }
    out += "<text class=\"axis\" x=\"" + FixedText(kLeft - 6, 1) + "\" y=\"" +
           FixedText(kTop - 10, 1) + "\" text-anchor=\"end\">°C</text>\r\n";
}

// A grid line and the local time every three hours, at whole local hours.
void appendTimeAxis(std::string& out, const HistoryGrid& grid, std::int64_t now) {
    const std::int64_t offset = UtcOffsetSeconds(now);
    const std::int64_t span = grid.step * static_cast<std::int64_t>(grid.count);
    std::int64_t tick =
        (grid.from + offset + kTimeTickSeconds - 1) / kTimeTickSeconds * kTimeTickSeconds - offset;
    for (; tick <= grid.from + span; tick += kTimeTickSeconds) {
        const std::string x = FixedText(
            kLeft + static_cast<double>(tick - grid.from) / static_cast<double>(span) * kPlotWidth,
            1);
        out += "<line class=\"grid\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + FixedText(kTop, 1) +
               "\" y2=\"" + FixedText(kTop + kPlotHeight, 1) + "\"/>\r\n";
        out += "<text class=\"axis\" x=\"" + x + "\" y=\"" + FixedText(kTop + kPlotHeight + 18, 1) +
               "\" text-anchor=\"middle\">" + ClockText(tick) + "</text>\r\n";
    }
}

// The line of one sensor through the means of its columns. It breaks where a
// column holds a failed reading (never a line across a fault) and across a
// silence longer than the sensor's join limit; a point with no neighbour to
// join is drawn as a dot.
std::string pathOf(const Line& line, const ValueAxis& axis, const HistoryGrid& grid) {
    std::string d;
    std::size_t previous = line.columns.size();  // none yet
    bool faultBetween = false;
    int pointsInPiece = 0;
    for (std::size_t i = 0; i < line.columns.size(); ++i) {
        const HistoryColumn& column = line.columns[i];
        if (column.valid == 0) {
            faultBetween = faultBetween || column.faults > 0;
            continue;
        }
        const bool joins =
            previous < line.columns.size() && !faultBetween && column.faults == 0 &&
            line.columns[previous].faults == 0 &&
            static_cast<std::int64_t>(i - previous) * grid.step <= line.joinLimitSeconds;
        if (!joins) {
            if (pointsInPiece == 1) d += " h0";
            d += d.empty() ? "M" : " M";
            pointsInPiece = 0;
        } else {
            d += ' ';
        }
        d += point(xOfColumn(i), axis.y(column.mean));
        ++pointsInPiece;
        previous = i;
        faultBetween = false;
    }
    if (pointsInPiece == 1) d += " h0";
    return d;
}

void appendChart(std::string& out, const std::vector<Line>& lines, const HistoryGrid& grid,
                 const std::optional<std::array<double, 2>>& band, std::int64_t now) {
    const ValueAxis axis = valueAxis(lines, band);
    out += "<svg viewBox=\"0 0 " + FixedText(kWidth, 0) + " " + FixedText(kHeight, 0) +
           "\" role=\"img\" aria-label=\"Температура за 24 часа\">\r\n";
    if (band) {
        const double top = axis.y((*band)[1]);
        out += "<rect class=\"band\" x=\"" + FixedText(kLeft, 1) + "\" y=\"" + FixedText(top, 1) +
               "\" width=\"" + FixedText(kPlotWidth, 1) + "\" height=\"" +
               FixedText(axis.y((*band)[0]) - top, 1) +
               "\"><title>Допустимый диапазон</title></rect>\r\n";
    }
    appendValueAxis(out, axis);
    appendTimeAxis(out, grid, now);
    out += "<rect class=\"frame\" x=\"" + FixedText(kLeft, 1) + "\" y=\"" + FixedText(kTop, 1) +
           "\" width=\"" + FixedText(kPlotWidth, 1) + "\" height=\"" + FixedText(kPlotHeight, 1) +
           "\"/>\r\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string d = pathOf(lines[i], axis, grid);
        if (d.empty()) continue;
        out += "<path class=\"line\" stroke=\"" + std::string(kColours[i % kColours.size()]) +
               "\" d=\"" + d + "\"><title>";
        AppendHtmlEscaped(out, platform::ValidUtf8(lines[i].named.name));
        out += "</title></path>\r\n";
    }
    out += "</svg>\r\n";
}

void appendLegend(std::string& out, const std::vector<Line>& lines, const ThermoRange& thermo,
                  bool bandShown) {
    out += "<ul class=\"legend\">\r\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += "<li><span class=\"swatch\" style=\"background: " +
               std::string(kColours[i % kColours.size()]) + ";\"></span>";
        AppendHtmlEscaped(out, platform::ValidUtf8(lines[i].named.name));
        out += " <span class=\"rom\">";
        AppendHtmlEscaped(out, platform::ValidUtf8(lines[i].named.rom));
        out += "</span></li>\r\n";
    }
    if (bandShown) {
        out += "<li><span class=\"swatch\" style=\"height: 10px; background: #d5ecd5;\"></span>";
        out += "Допустимый диапазон: от " + std::to_string(thermo.min) + " до " +
               std::to_string(thermo.max) + " °C</li>\r\n";
    }
    out += "</ul>\r\n";
}

}  // namespace

std::string BuildHistoryPage(const HistoryStore& store, const StatusSnapshot& snapshot,
                             std::int64_t now) {
    const HistoryGrid grid = DayGrid(now);
    const std::vector<Line> lines = linesOf(store, snapshot, grid);
    const auto band = permittedBand(snapshot.thermo);
    std::string page(kPageHead);
    page += "<h3>Температура за 24 часа</h3>\r\n<p>";
    // Before the first poll pass there is no time to draw a day up to.
    if (now > 0) page += "Последний опрос: " + IsoTimeText(now) + ". ";
    page += "<a href=\"/\">Текущие показания</a>, <a href=\"/history.json\">данные в JSON</a>.</p>\r\n";
    if (now > 0) appendChart(page, lines, grid, band, now);
    if (lines.empty()) page += "<p>Нет показаний за последние 24 часа.</p>\r\n";
    appendLegend(page, lines, snapshot.thermo, band.has_value());
    page += "</body>\r\n</html>\r\n";
    return page;
}

std::string BuildHistoryJson(const HistoryStore& store, const StatusSnapshot& snapshot,
                             std::int64_t now) {
    const HistoryGrid grid = DayGrid(now);
    const auto time = [&](std::int64_t unixSeconds) {
        return now > 0 ? '"' + IsoTimeText(unixSeconds) + '"' : std::string("null");
    };
    std::string json = "{\"from\":" + time(grid.from) + ",\"to\":" + time(now) +
                       ",\"stepSeconds\":" + std::to_string(grid.step) +
                       ",\"thermoControl\":{\"on\":" + (snapshot.thermo.on ? "true" : "false") +
                       ",\"min\":" + std::to_string(snapshot.thermo.min) +
                       ",\"max\":" + std::to_string(snapshot.thermo.max) + "},\"sensors\":[";
    const std::vector<Line> lines = linesOf(store, snapshot, grid);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        json += i == 0 ? "{\"rom\":" : ",{\"rom\":";
        AppendJsonString(json, lines[i].named.rom);
        json += ",\"name\":";
        AppendJsonString(json, lines[i].named.name);
        json += ",\"points\":[";
        bool first = true;
        for (std::size_t c = 0; c < lines[i].columns.size(); ++c) {
            const HistoryColumn& column = lines[i].columns[c];
            if (column.valid == 0 && column.faults == 0) continue;
            json += first ? "[" : ",[";
            first = false;
            json += std::to_string(grid.from + grid.step * static_cast<std::int64_t>(c));
            if (column.valid == 0) {
                json += ",null,null,null]";
            } else {
                json += "," + FloatText(column.min) + "," + FloatText(column.mean) + "," +
                        FloatText(column.max) + "]";
            }
        }
        json += "]}";
    }
    json += "]}";
    return json;
}

}  // namespace web
