#include "report/scan_page.h"

#include <cmath>
#include <iterator>

#include <fmt/format.h>

#include "indicator/output_functions.h"
#include "marketdata/bar_date.h"
#include "scan/phase.h"
#include "scan_page_css.h"
#include "scan_page_js.h"
#include "text/format_append.h"
#include "text/markup_text.h"
#include "text/template_text.h"

namespace tarvok::tools {

namespace {

// The page's words in both languages: [0] English, [1] Chinese.
struct Words {
  const char* lang;
  const char* title;
  const char* noBars;
  const char* columns[9];
  const char* phases[3];  // rising, falling, none
  const char* kindLabel;
  const char* kinds[6];  // a-share, index, fund, bond, b-share, all
  const char* marketLabel;
  const char* markets[3];  // sh, sz, bj
  const char* phaseLabel;
  const char* withinBefore;
  const char* withinAfter;
  const char* search;
  const char* copy;
  const char* download;
  const char* copied;      // {n}
  const char* counts;      // {shown} {rising} {falling} {none} {changed} {within}
  const char* staleCount;  // {stale}
  const char* suspended;
  const char* stale;
  const char* explain;  // {bars} {minBars} {within}
  const char* files;    // {files} {left}
  const char* listing;  // {listing}
};

constexpr Words kWords[2] = {
    {"en",
     "tarvok market scan",
     "no bars",
     {"Code", "Name", "Date", "Close", "Stop", "Phase", "Phase began", "Bars", "To stop (%)"},
     {"rising", "falling", "none"},
     "Kind",
     {"A-shares", "Indices", "Funds", "Bonds", "B-shares", "All"},
     "Market",
     {"SH", "SZ", "BJ"},
     "Phase",
     "began within the last",
     "bars",
     "Code or name",
     "Copy codes",
     "Download list",
     "{n} codes copied",
     "{shown} shown: <span class=\"rising\">{rising} rising</span>, <span "
     "class=\"falling\">{falling} falling</span>, <span class=\"flat\">{none} none</span>; "
     "{changed} changed phase within the last {within} bars.",
     " Besides, {stale} suspended or stale (greyed), not counted.",
     "suspended",
     "stale",
     "Phase: rising (the trend state below 0; the stop line lies under the price), falling (above "
     "0; the line lies over it: for a trader who only buys, a resistance line), none (0). Phase "
     "began: the bar the phase began on; Bars: how many bars it has lasted, 1 when it began on "
     "the last one. To stop: (close \u2212 stop) / close \u00d7 100. A greyed row's last bar is "
     "older than the newest date of the scan: suspended, or stale from {stale} trading dates on. "
     "An underlined code opens its chart (the last {bars} bars). Click a column's header to sort "
     "by it.",
     "{files} files read, {left} left out (fewer than {minBars} bars, or broken: see the tool's "
     "messages).",
     "Listed: {listing}."},
    {"zh-CN",
     "周期带止损线 · 全市场扫描",
     "无K线",
     {"代码", "名称", "日期", "收盘", "止损线", "阶段", "阶段开始", "持续", "距止损(%)"},
     {"上涨", "下跌", "无"},
     "品种",
     {"A股", "指数", "基金", "债券", "B股", "全部"},
     "市场",
     {"沪", "深", "京"},
     "阶段",
     "阶段开始于最近",
     "根K线内",
     "代码或名称",
     "复制代码",
     "下载列表",
     "已复制 {n} 个代码",
     "显示 {shown} 只：<span class=\"rising\">上涨 {rising}</span>，<span "
     "class=\"falling\">下跌 {falling}</span>，<span class=\"flat\">无 {none}</span>；最近 {within} "
     "根K线内转换阶段的 {changed} 只。",
     "另有停牌或过期 {stale} 只（灰色），不计入。",
     "停牌",
     "过期",
     "阶段：上涨（趋势状态小于0，止损线在价格下方），下跌（大于0，止损线在价格上方，只做多的交易者可把它"
     "看作压力线），无（等于0）。阶段开始：本阶段开始的那根K线；持续：本阶段已有几根K线，最后一根K线上开始"
     "的为1。距止损：(收盘−止损线)÷收盘×100。灰色的行最后一根K线早于本次扫描的最新日期：停牌，落后 "
     "{stale} 个交易日以上的为过期。带下划线的代码可打开其走势图（最后 {bars} 根K线）。点击列标题按该列排序。",
     "共读 {files} 个文件，{left} 个未列出（不足 {minBars} 根K线或文件损坏，见程序的提示）。",
     "列出：{listing}。"},
};

const Words& wordsOf(Language language) { return kWords[language == Language::Chinese ? 1 : 0]; }

// The kind as the buttons name it, one word for the script.
const char* kindKey(InstrumentKind kind) {
  switch (kind) {
    case InstrumentKind::AShare: return "a-share";
    case InstrumentKind::Index: return "index";
    case InstrumentKind::Fund: return "fund";
    case InstrumentKind::Bond: return "bond";
    case InstrumentKind::BShare: return "b-share";
    default: return "other";
  }
}

std::string whenText(std::uint32_t date, std::uint16_t time) {
  if (date == 0) return std::string();
  return time == kNoTime ? dateText(date) : dateTimeText(date, time);
}

// A price with the decimals of its unit: 2 for 1/100 yuan, 3 for 1/1000.
std::string priceText(float price, std::uint32_t scale) {
  if (!std::isfinite(price)) return fmt::format("{}", price);
  return fmt::format("{:.{}f}", price, scale == 1000 ? 3 : 2);
}

std::string signedDistance(const ScanRow& row) {
  const std::string text = distanceText(row);
  if (text.empty() || text[0] == '-' || text == "0.00") return text;
  return "+" + text;
}

}  // namespace

std::string scanPageHead(const ScanPageSummary& s, const std::vector<ScanPageRow>& rows) {
  const Words& w = wordsOf(s.language);
  const std::string date = s.newestDate != 0 ? dateText(s.newestDate) : w.noBars;
  const std::string title =
      fmt::format("{} \u00b7 N={} \u00b7 M={} \u00b7 {}", w.title, s.period, s.multiplier, date);
  std::string out;
  out.reserve(8192 + rows.size() * 420);
  appendFormat(out,
               "<!DOCTYPE html>\n<html lang=\"{0}\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<title>{1}</title>\n<style>{2}</style>\n</head>\n<body>\n<h1>{1}</h1>\n",
               w.lang, title, kScanPageCSS);
  // The words the script puts together, as data of the elements it fills.
  appendFormat(out, "<p id=\"counts\" data-counts=\"{}\" data-stale=\"{}\"></p>\n",
               markupText(w.counts), markupText(w.staleCount));
  appendFormat(out, "<p>{} {}</p>\n",
               markupText(filled(w.files, {{"files", std::to_string(s.files)},
                                           {"left", std::to_string(s.leftOut)},
                                           {"minBars", std::to_string(kMinBars)}})),
               markupText(filled(w.listing, {{"listing", s.listing}})));

  out += "<div id=\"filters\">\n";
  appendFormat(out, "<span class=\"group\" data-filter=\"kind\"><b>{}</b>", w.kindLabel);
  static constexpr const char* kKindKeys[6] = {"a-share", "index",   "fund",
                                               "bond",    "b-share", "all"};
  for (int k = 0; k < 6; ++k) {
    appendFormat(out, "<button type=\"button\" data-value=\"{}\"{}>{}</button>", kKindKeys[k],
                 k == 0 ? " class=\"on\"" : "", w.kinds[k]);
  }
  appendFormat(out,
               "</span>\n<span class=\"group\" data-filter=\"market\" data-multi=\"1\"><b>{}</b>",
               w.marketLabel);
  static constexpr const char* kMarketKeys[3] = {"sh", "sz", "bj"};
  for (int k = 0; k < 3; ++k) {
    appendFormat(out, "<button type=\"button\" data-value=\"{}\" class=\"on\">{}</button>",
                 kMarketKeys[k], w.markets[k]);
  }
  appendFormat(out,
               "</span>\n<span class=\"group\" data-filter=\"phase\" data-multi=\"1\"><b>{}</b>",
               w.phaseLabel);
  static constexpr const char* kPhaseKeys[3] = {"rising", "falling", "flat"};
  for (int k = 0; k < 3; ++k) {
    appendFormat(out, "<button type=\"button\" data-value=\"{0}\" class=\"on {0}\">{1}</button>",
                 kPhaseKeys[k], w.phases[k]);
  }
  appendFormat(out,
               "</span>\n<label>{} <input id=\"within\" type=\"number\" min=\"1\" step=\"1\" "
               "placeholder=\"{}\"> {}</label>\n"
               "<input id=\"search\" type=\"search\" placeholder=\"{}\">\n"
               "<button type=\"button\" id=\"copy\" data-copied=\"{}\">{}</button>\n"
               "<a id=\"download\" href=\"#\" download=\"tarvok-codes.txt\">{}</a>\n"
               "<span id=\"status\"></span>\n</div>\n",
               w.withinBefore, s.changedWithin, w.withinAfter, w.search, markupText(w.copied),
               w.copy, w.download);
  appendFormat(out, "<p class=\"note\">{}</p>\n",
               markupText(filled(w.explain, {{"bars", std::to_string(kChartBars)},
                                             {"stale", std::to_string(kStaleDaysBehind)}})));

  out += "<table id=\"rows\">\n<thead><tr>";
  for (int c = 0; c < 9; ++c) {
    const bool numeric = c == 3 || c == 4 || c == 7 || c == 8;
    appendFormat(out, "<th class=\"{}\">{}</th>", numeric ? "num" : "text", w.columns[c]);
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const ScanPageRow& r : rows) {
    const std::optional<Symbol> symbol = parseSymbol(std::string(r.symbol) + ".day");
    const std::string code = markupText(symbol ? std::string_view(symbol->code) : r.symbol);
    const char* market = symbol ? marketName(symbol->market).data() : "other";
    const Phase phase = phaseOf(r.row.state);
    const char* phaseKey = phaseName(phase);
    const bool behind = r.daysBehind > 0;
    appendFormat(out,
                 "<tr data-kind=\"{}\" data-market=\"{}\" data-phase=\"{}\" data-bars=\"{}\" "
                 "data-behind=\"{}\" data-code=\"{}\"{}>",
                 kindKey(r.kind), market, phaseKey, r.row.phaseBars, r.daysBehind, code,
                 behind ? " class=\"behind\"" : "");
    if (r.chart >= 0) {
      appendFormat(out, "<td class=\"text\"><a href=\"#chart{}\" title=\"{}\">{}</a></td>", r.chart,
                   markupText(r.symbol), code);
    } else {
      appendFormat(out, "<td class=\"text\" title=\"{}\">{}</td>", markupText(r.symbol), code);
    }
    appendFormat(out, "<td class=\"text\">{}</td><td class=\"text\">{}", markupText(r.name),
                 whenText(r.row.date, r.row.time));
    if (behind) {
      appendFormat(out, " <span class=\"badge\">{}</span>",
                   r.daysBehind >= kStaleDaysBehind ? w.stale : w.suspended);
    }
    appendFormat(out,
                 "</td><td>{}</td><td>{}</td><td class=\"{}\">{}</td><td class=\"text\">{}</td>"
                 "<td>{}</td><td>{}</td></tr>\n",
                 priceText(r.row.close, r.scale), priceText(r.row.stop, r.scale), phaseKey,
                 w.phases[static_cast<int>(phase)],
                 whenText(r.row.phaseStartDate, r.row.phaseStartTime), r.row.phaseBars,
                 signedDistance(r.row));
  }
  out += "</tbody>\n</table>\n";
  return out;
}

std::string scanPageChart(int chart, std::string_view symbol, std::string_view svg,
                          std::string_view note) {
  std::string out;
  out.reserve(svg.size() + 256);
  appendFormat(out,
               "<section class=\"chart\" id=\"chart{}\"><a class=\"close\" href=\"#_\">\u2715</a>"
               "<h2>{}</h2>\n",
               chart, markupText(symbol));
  if (svg.empty()) {
    appendFormat(out, "<p>{}</p>\n", markupText(note));
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
