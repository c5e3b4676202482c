#include "report/scan_page.h"

#include <iterator>

#include <fmt/format.h>

#include "indicator/output_functions.h"
#include "marketdata/bar_date.h"
#include "scan/phase.h"
#include "scan_page_css.h"
#include "scan_page_js.h"
#include "text/format_append.h"
#include "text/markup_text.h"

namespace tarvok::tools {

namespace {

struct Column {
  const char* name;
  bool numeric;
};
constexpr Column kColumns[] = {{"symbol", false},    {"date", false},       {"close", true},
                               {"stop", true},       {"state", true},       {"phase", false},
                               {"phase_bars", true}, {"distance_pct", true}};

}  // namespace

std::string scanPageHead(const ScanPageSummary& s, const std::vector<ScanPageRow>& rows) {
  const std::string date = s.newestDate != 0 ? dateText(s.newestDate) : "no bars";
  const std::string title = fmt::format("tarvok market scan \u00b7 N={} \u00b7 M={} \u00b7 {}",
                                        s.period, s.multiplier, date);
  std::string out;
  out.reserve(2048 + rows.size() * 260);
  appendFormat(out,
               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>{0}</title>\n<style>{1}</style>\n</head>\n<body>\n<h1>{0}</h1>\n",
               title, kScanPageCSS);
  const std::size_t withRow = s.phases[0] + s.phases[1] + s.phases[2];
  appendFormat(
      out,
      "<p id=\"counts\">{} daily files, {} with a row: <span class=\"rising\">{} rising</span>, "
      "<span class=\"falling\">{} falling</span>, <span class=\"flat\">{} flat</span>; "
      "{} changed phase within the last {} bar{}.",
      s.files, withRow, s.phases[0], s.phases[1], s.phases[2], s.changedRecently, s.changedWithin,
      s.changedWithin == 1 ? "" : "s");
  if (s.leftOut != 0) {
    appendFormat(out,
                 " {} file{} left out (fewer than {} bars, or broken: see the tool's messages).",
                 s.leftOut, s.leftOut == 1 ? "" : "s", kMinBars);
  }
  appendFormat(
      out,
      "</p>\n<p>Listed: {} row{} ({}). Click a column's header to sort by it. An underlined "
      "symbol opens its chart (the last {} bars).</p>\n"
      "<p>phase: <span class=\"rising\">rising</span> (state below 0), <span "
      "class=\"falling\">falling</span> (above 0), <span class=\"flat\">flat</span> (0); "
      "phase_bars: bars since the phase began, 1 on the bar it began; distance_pct: "
      "(close \u2212 stop) / close \u00d7 100.</p>\n",
      rows.size(), rows.size() == 1 ? "" : "s", markupText(s.listing), kChartBars);

  out += "<table id=\"rows\">\n<thead><tr>";
  for (const Column& c : kColumns) {
    appendFormat(out, "<th class=\"{}\">{}</th>", c.numeric ? "num" : "text", c.name);
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const ScanPageRow& r : rows) {
    const std::string symbol = markupText(r.symbol);
    const char* phase = phaseName(phaseOf(r.row.state));
    if (r.chart >= 0) {
      appendFormat(out, "<tr><td><a href=\"#chart{}\">{}</a></td>", r.chart, symbol);
    } else {
      appendFormat(out, "<tr><td>{}</td>", symbol);
    }
    appendFormat(
        out,
        "<td>{}</td><td>{}</td><td>{}</td><td>{}</td><td class=\"{}\">{}</td><td>{}</td><td>{}</td></tr>\n",
        dateText(r.row.date), r.row.close, r.row.stop, r.row.state, phase, phase, r.row.phaseBars,
        distanceText(r.row));
  }
  out += "</tbody>\n</table>\n";
  return out;
}

std::string scanPageChart(int chart, std::string_view symbol, std::string_view svg,
                          std::string_view note) {
  std::string out;
  out.reserve(svg.size() + 256);
  appendFormat(out,
               "<section class=\"chart\" id=\"chart{}\"><a class=\"close\" href=\"#_\">close</a>"
               "<h2>{}</h2>\n",
               chart, markupText(symbol));
  if (svg.empty()) {
    appendFormat(out, "<p>No chart: {}</p>\n", markupText(note));
  } else {
    // The SVG document inline: without its XML declaration, and with its ids, which each chart
    // repeats, as classes.
    std::string_view body = svg;
    if (body.substr(0, 5) == "<?xml")
      body.remove_prefix(std::min(body.size(), body.find("?>") + 2));
    for (std::size_t at; (at = body.find(" id=\"")) != std::string_view::npos;) {
      out.append(body.data(), at);
      out += " class=\"";
      body.remove_prefix(at + 5);
    }
    out.append(body.data(), body.size());
  }
  out += "</section>\n";
  return out;
}

std::string scanPageTail() {
  return fmt::format("<script>{}</script>\n</body>\n</html>\n", kScanPageJS);
}

}  // namespace tarvok::tools
