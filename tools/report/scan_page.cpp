#include "report/scan_page.h"

#include <iterator>

#include <fmt/format.h>

namespace tarvok::tools {

namespace {

// The stop line's colours in the chart: red rising, green falling, grey flat.
constexpr const char* kStyle = R"(
body{font:14px/1.4 "DejaVu Sans",Verdana,Arial,sans-serif;margin:16px 24px;color:#222;background:#fff}
h1{font-size:20px;margin:0 0 8px}
p{margin:4px 0}
.rising{color:#d7191c}.falling{color:#1a9641}.flat{color:#8c8c8c}
td.rising,td.falling,td.flat{font-weight:bold;text-align:left}
table{border-collapse:collapse;margin-top:12px}
th,td{padding:2px 10px;border-bottom:1px solid #e4e4e4;text-align:right;white-space:nowrap}
th:first-child,td:first-child,th.text,td.text{text-align:left}
th{position:sticky;top:0;background:#f2f2f2;cursor:pointer;user-select:none}
th.up::after{content:" \25B2"}th.down::after{content:" \25BC"}
tbody tr:hover{background:#f7f7f7}
.chart{display:none}
.chart:target{display:block;position:fixed;top:2vh;left:2vw;right:2vw;max-height:96vh;overflow:auto;
background:#fff;border:1px solid #999;box-shadow:0 4px 24px rgba(0,0,0,.3);padding:8px 12px;z-index:1}
.chart svg{width:100%;height:auto;display:block}
.chart a.close{float:right}
)";

// Sorts the table by a clicked column, the other way on a second click; numeric columns by value
// (an empty cell last), ties kept in their order.
constexpr const char* kScript = R"(
(function () {
  var table = document.getElementById("rows");
  var body = table.tBodies[0];
  var heads = table.tHead.rows[0].cells;
  var sorted = -1, ascending = true;
  function sortBy(column) {
    ascending = sorted === column ? !ascending : true;
    sorted = column;
    var numeric = heads[column].classList.contains("num");
    var keyed = Array.prototype.map.call(body.rows, function (row, index) {
      var text = row.cells[column].textContent;
      return {row: row, index: index, key: numeric ? (text === "" ? NaN : Number(text)) : text};
    });
    keyed.sort(function (a, b) {
      var x = a.key, y = b.key, order = 0;
      if (numeric && (isNaN(x) || isNaN(y))) {
        order = isNaN(x) === isNaN(y) ? 0 : isNaN(x) ? 1 : -1;
        return order || a.index - b.index;
      }
      order = x < y ? -1 : x > y ? 1 : 0;
      return (ascending ? order : -order) || a.index - b.index;
    });
    var rows = document.createDocumentFragment();
    keyed.forEach(function (k) { rows.appendChild(k.row); });
    body.appendChild(rows);
    for (var i = 0; i < heads.length; ++i) {
      heads[i].classList.remove("up", "down");
      heads[i].removeAttribute("aria-sort");
    }
    heads[column].classList.add(ascending ? "up" : "down");
    heads[column].setAttribute("aria-sort", ascending ? "ascending" : "descending");
  }
  Array.prototype.forEach.call(heads, function (head, column) {
    head.addEventListener("click", function () { sortBy(column); });
  });
})();
)";

struct Column {
  const char* name;
  bool numeric;
};
constexpr Column kColumns[] = {{"symbol", false}, {"date", false},  {"close", true},
                               {"stop", true},    {"state", true},  {"phase", false},
                               {"phase_bars", true}, {"distance_pct", true}};

template <typename... T>
void append(std::string& out, fmt::format_string<T...> format, T&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<T>(args)...);
}

}  // namespace

std::string htmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          append(out, "\\x{:02X}", byte);
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string scanPageHead(const ScanPageSummary& s, const std::vector<ScanPageRow>& rows) {
  const std::string date = s.newestDate != 0 ? dateText(s.newestDate) : "no bars";
  const std::string title =
      fmt::format("tarvok market scan \u00b7 N={} \u00b7 M={} \u00b7 {}", s.period, s.multiplier, date);
  std::string out;
  out.reserve(2048 + rows.size() * 260);
  append(out,
         "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>{0}</title>\n<style>{1}</style>\n</head>\n<body>\n<h1>{0}</h1>\n",
         title, kStyle);
  const std::size_t withRow = s.phases[0] + s.phases[1] + s.phases[2];
  append(out,
         "<p id=\"counts\">{} daily files, {} with a row: <span class=\"rising\">{} rising</span>, "
         "<span class=\"falling\">{} falling</span>, <span class=\"flat\">{} flat</span>; "
         "{} changed phase within the last {} bar{}.",
         s.files, withRow, s.phases[0], s.phases[1], s.phases[2], s.changedRecently,
         s.changedWithin, s.changedWithin == 1 ? "" : "s");
  if (s.leftOut != 0) {
    append(out, " {} file{} left out (fewer than 5 bars, or broken: see the tool's messages).",
           s.leftOut, s.leftOut == 1 ? "" : "s");
  }
  append(out,
         "</p>\n<p>Listed: {} row{} ({}). Click a column's header to sort by it. An underlined "
         "symbol opens its chart (the last 250 bars).</p>\n"
         "<p>phase: <span class=\"rising\">rising</span> (state below 0), <span "
         "class=\"falling\">falling</span> (above 0), <span class=\"flat\">flat</span> (0); "
         "phase_bars: bars since the phase began, 1 on the bar it began; distance_pct: "
         "(close \u2212 stop) / close \u00d7 100.</p>\n",
         rows.size(), rows.size() == 1 ? "" : "s", htmlText(s.listing));

  out += "<table id=\"rows\">\n<thead><tr>";
  for (const Column& c : kColumns) {
    append(out, "<th class=\"{}\">{}</th>", c.numeric ? "num" : "text", c.name);
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const ScanPageRow& r : rows) {
    const std::string symbol = htmlText(r.symbol);
    const char* phase = phaseName(phaseOf(r.row.state));
    if (r.chart >= 0) {
      append(out, "<tr><td><a href=\"#chart{}\">{}</a></td>", r.chart, symbol);
    } else {
      append(out, "<tr><td>{}</td>", symbol);
    }
    append(out, "<td>{}</td><td>{}</td><td>{}</td><td>{}</td><td class=\"{}\">{}</td><td>{}</td><td>{}</td></tr>\n",
           dateText(r.row.date), r.row.close, r.row.stop, r.row.state, phase, phase,
           r.row.phaseBars, distanceText(r.row));
  }
  out += "</tbody>\n</table>\n";
  return out;
}

std::string scanPageChart(int chart, std::string_view symbol, std::string_view svg,
                          std::string_view note) {
  std::string out;
  out.reserve(svg.size() + 256);
  append(out, "<section class=\"chart\" id=\"chart{}\"><a class=\"close\" href=\"#_\">close</a>"
              "<h2>{}</h2>\n", chart, htmlText(symbol));
  if (svg.empty()) {
    append(out, "<p>No chart: {}</p>\n", htmlText(note));
  } else {
    // The SVG document inline: without its XML declaration, and with its ids, which each chart
    // repeats, as classes.
    std::string_view body = svg;
    if (body.substr(0, 5) == "<?xml") body.remove_prefix(std::min(body.size(), body.find("?>") + 2));
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
  return fmt::format("<script>{}</script>\n</body>\n</html>\n", kScript);
}

}  // namespace tarvok::tools
