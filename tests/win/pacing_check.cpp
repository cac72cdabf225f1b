// Applies the pacing rule (support/pacing_rule.h) to the pacing line a game's LOG.TXT ends
// with: "Presented N frames in T ms (G given up after S stalls)." Prints the figures (and what
// they break); exit status 0 when they keep the rule, 1 when not, 2 without such a line.
//   pacing_check LOG.TXT
#include <fstream>
#include <iostream>
#include <regex>
#include <string>

#include "support/pacing_rule.h"

int main(int argc, char** argv) {
  std::ifstream log(argc == 2 ? argv[1] : "");
  const std::regex pacing(R"(Presented (\d+) frames in (\d+) ms \((\d+) given up after (\d+) stalls\)\.)");
  std::smatch m;
  for (std::string line; std::getline(log, line);) {
    if (!std::regex_search(line, m, pacing)) continue;
    const long long ms = std::stoll(m[2]);
    // The milliseconds are cut down: the true span is up to one more.
    const PacingCount count{(static_cast<double>(ms) + 0.999) / 1000, std::stoll(m[1]), std::stoll(m[3]),
                            std::stoll(m[4])};
    const std::string broken = pacing_rule_broken(count);
    std::cout << m[1] << " shown in " << ms << " ms, " << m[3] << " given up after " << m[4] << " stalls"
              << (broken.empty() ? "" : ": " + broken) << "\n";
    return broken.empty() ? 0 : 1;
  }
  std::cout << "no pacing line in " << (argc == 2 ? argv[1] : "(no file given)") << "\n";
  return 2;
}
