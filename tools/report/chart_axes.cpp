#include "chart_axes.h"

#include <algorithm>
#include <cmath>

namespace tarvok::tools::chart {

double niceStep(double span) {
  const double base = std::pow(10.0, std::floor(std::log10(span / 10)));
  double best = base;
  double bestMiss = INFINITY;
  for (const double factor : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
    const double miss = std::abs(span / (base * factor) - 6.5);
    if (miss <= bestMiss) best = base * factor, bestMiss = miss;
  }
  return best;
}

std::string priceLabel(double value, double step, double magnitude) {
  if (magnitude >= 1e9 || step < 1e-6) {
    const int digits = static_cast<int>(std::ceil(std::log10(magnitude / step))) + 1;
    return fmt::format("{:.{}g}", value, std::clamp(digits, 2, 9));
  }
  return fmt::format("{:.{}f}", value,
                     std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9))));
}

bool fitApart(const std::vector<AxisLabel>& labels) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const double half = textWidth(labels[i].text) / 2;
    if (labels[i].x - half < 0 || labels[i].x + half > kWidth) return false;
    if (i > 0 &&
        labels[i].x - labels[i - 1].x < textWidth(labels[i - 1].text) / 2 + half + kLabelGap) {
      return false;
    }
  }
  return true;
}

std::vector<AxisLabel> dateLabels(const std::vector<std::uint32_t>& date, const XScale& xs) {
  struct Level {
    int months, years;
  };
  static constexpr Level kLevels[] = {
      {1, 0},  {2, 0},  {3, 0},   {6, 0},   {0, 1},   {0, 2},    {0, 5},     {0, 10},
      {0, 20}, {0, 50}, {0, 100}, {0, 200}, {0, 500}, {0, 1000}, {0, 10000}, {0, 100000}};
  const auto year = [](std::uint32_t d) { return static_cast<long long>(d / 10000); };
  const auto month = [](std::uint32_t d) { return static_cast<long long>(d / 100 % 100); };
  for (const Level& level : kLevels) {
    const auto period = [&](std::uint32_t d) {
      return level.months != 0 ? (year(d) * 12 + month(d) - 1) / level.months
                               : year(d) / level.years;
    };
    std::vector<AxisLabel> labels;
    for (std::size_t j = 1; j < date.size() && labels.size() <= kMaxDateLabels; ++j) {
      if (period(date[j]) == period(date[j - 1])) continue;
      labels.push_back({xs.edge(j), level.months != 0
                                        ? fmt::format("{:04}-{:02}", year(date[j]), month(date[j]))
                                        : fmt::format("{}", year(date[j]))});
    }
    if (labels.size() > kMaxDateLabels || !fitApart(labels)) continue;
    if (labels.size() >= 2) return labels;
    break;
  }
  // Within a month or two, the dates of single bars say more than one boundary or none.
  return barStepLabels(xs, kMaxBarLabels, [&](std::size_t j) {
    return fmt::format("{:04}-{:02}-{:02}", year(date[j]), month(date[j]), date[j] % 100);
  });
}

std::vector<AxisLabel> dateTimeLabels(const std::vector<std::uint32_t>& date,
                                      const std::vector<std::uint16_t>& time, const XScale& xs) {
  std::vector<AxisLabel> days;
  for (std::size_t j = 1; j < date.size() && days.size() <= kMaxDateLabels; ++j) {
    if (date[j] == date[j - 1]) continue;
    days.push_back({xs.edge(j), fmt::format("{:04}-{:02}-{:02}", date[j] / 10000,
                                            date[j] / 100 % 100, date[j] % 100)});
  }
  if (days.size() > kMaxDateLabels) return dateLabels(date, xs);
  if (days.size() >= 2 && fitApart(days)) return days;
  return barStepLabels(xs, kMaxBarLabels, [&](std::size_t j) {
    return fmt::format("{:02}-{:02} {:02}:{:02}", date[j] / 100 % 100, date[j] % 100, time[j] / 60,
                       time[j] % 60);
  });
}

}  // namespace tarvok::tools::chart
