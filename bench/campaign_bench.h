// The long fault campaign: random "E.P" and "E.P.R" downloads by vexo-flash
// against vexo-radio-sim with random faults from the simulator's options,
// several at once. Each run is checked against the invariants a flasher must
// keep whatever the line does.
#pragma once

#include <string>
#include <vector>

namespace vexo::bench {

struct CampaignResult {
  int runs = 0;
  int completed = 0;                    // exit status 0
  int stopped = 0;                      // exit status 1
  std::vector<std::string> violations;  // "run N (seed S): what"
  double seconds = 0;
};

CampaignResult RunCampaign(int runs, int jobs, unsigned seed, const std::string& scratch);

}  // namespace vexo::bench
