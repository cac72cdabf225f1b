// The rule every check of "60 frames a second" applies, whatever the host (the numbers are
// written in README, "A busy machine", for every test that checks a frame rate). Over a
// measurement from one presented frame to another `seconds` later, which holds
// 60 x seconds + 1 frame times:
//   - the frames run are never more than 60 a second: at most one more than the frame times;
//   - at most 3 stalls per 10 s of measurement (3 in any measurement up to 10 s);
//   - at most 10 % of the frame times given up after stalls;
//   - the frames run and given up fill the frame times within 5 %.
// So a host running steadily at 30 or 20 frames a second fails, and a short stall on a busy
// machine does not.
#pragma once
#include <cstdint>
#include <string>

constexpr double PACING_STALLS_PER_10_S = 3;
constexpr double PACING_MOST_GIVEN_UP = 0.10;
constexpr double PACING_FILL_TOLERANCE = 0.05;

struct PacingCount {
  double seconds;    // from the first presented frame counted to the last
  int64_t run;       // frames run and presented in that time, both ends included
  int64_t given_up;  // frames the schedule gave up after stalls
  int64_t stalls;
};

// "" when the count keeps the rule; otherwise what it breaks, with the figures.
std::string pacing_rule_broken(const PacingCount& c);
