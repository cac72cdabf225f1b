#include "support/pacing_rule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string pacing_rule_broken(const PacingCount& c) {
  const double frame_times = c.seconds * 60 + 1;
  const double most_stalls = PACING_STALLS_PER_10_S * std::max(1.0, c.seconds / 10);
  char why[200] = "";
  if (static_cast<double>(c.run) > frame_times + 1) {
    std::snprintf(why, sizeof why, "%lld frames run in %.3f s: more than 60 a second", static_cast<long long>(c.run),
                  c.seconds);
  } else if (static_cast<double>(c.stalls) > most_stalls) {
    std::snprintf(why, sizeof why, "%lld stalls in %.3f s: more than %.1f", static_cast<long long>(c.stalls), c.seconds,
                  most_stalls);
  } else if (static_cast<double>(c.given_up) > PACING_MOST_GIVEN_UP * frame_times) {
    std::snprintf(why, sizeof why, "%lld of %.0f frames given up: more than 10 %%", static_cast<long long>(c.given_up),
                  frame_times);
  } else if (std::fabs(static_cast<double>(c.run + c.given_up) - frame_times) > PACING_FILL_TOLERANCE * frame_times) {
    std::snprintf(why, sizeof why, "%lld run and %lld given up for %.0f frame times: off by more than 5 %%",
                  static_cast<long long>(c.run), static_cast<long long>(c.given_up), frame_times);
  }
  return why;
}
