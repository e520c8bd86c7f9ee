#include "bench/campaign_bench.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "app/process_state.h"
#include "app/settings.h"
#include "app/text_ids.h"
#include "tests/support/test_image.h"
#include "tests/tools/sim_process.h"

namespace vexo::bench {
namespace {

struct Plan {
  std::vector<std::string> sim_args;
  std::vector<std::string> flash_args;
  bool verify = false;
  int records = 0;
  std::uint32_t base = 0;
  std::string description;
};

// The longest a job may take by the time limits of its exchanges, plus room
// for starting the processes.
double BoundSeconds(int records, bool verify) {
  auto attempts = [](int limit) { return 3.0 * (limit + 1); };
  double ms = 101 + 22 * 201 + 2 * attempts(3000) + attempts(500) + attempts(300) + 201 +
              attempts(600) + attempts(8000) + 450 + records * attempts(1500) * (verify ? 2 : 1) +
              2 * attempts(1300);
  return ms / 1000.0 + 5.0;
}

Plan MakePlan(std::mt19937& pick, const std::string& image_path) {
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(pick) < p; };
  auto between = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(pick);
  };
  Plan plan;
  plan.records = between(1, 24);
  plan.base = 128u * static_cast<std::uint32_t>(between(0, 64));
  testing::WriteFile(image_path,
                     testing::MakeImage(plan.records, plan.base, between(0, 132), chance(0.3)));
  plan.verify = chance(0.5);
  const int rates[] = {9600, 19200, 38400, 57600, 115200};
  plan.flash_args = {"--baud", std::to_string(rates[between(0, 4)])};
  if (plan.verify) plan.flash_args.push_back("--verify");
  plan.flash_args.push_back(image_path);

  std::vector<std::string>& s = plan.sim_args;
  s = {"--verbose", "--erase-ms", std::to_string(between(5, 60)), "--seed", std::to_string(pick())};
  auto add = [&](std::initializer_list<std::string> more) { s.insert(s.end(), more); };
  if (chance(0.5)) add({"--run-replies"});
  if (chance(0.15)) add({"--drop-rate", "0.00" + std::to_string(between(1, 5))});
  if (chance(0.15)) add({"--corrupt-rate", "0.00" + std::to_string(between(1, 5))});
  if (chance(0.2))
    add({"--split", std::to_string(between(2, 4)) + ":" + std::to_string(between(1, 30))});
  if (chance(0.1)) add({"--extra", "00"});
  if (chance(0.05)) add({"--erase-reply", chance(0.5) ? "none" : "45"});
  if (chance(0.05)) add({"--downing-reply", chance(0.5) ? "none" : "15"});
  if (chance(0.05)) add({"--probe-rate", chance(0.5) ? "none" : "4800"});
  if (chance(0.1)) add({"--hang-up-after", std::to_string(between(0, plan.records))});
  if (chance(0.1)) {
    add({"--no-echo", std::to_string(between(0, plan.records - 1)) +
                          (chance(0.5) ? ":" + std::to_string(between(1, 3)) : "")});
  }
  if (chance(0.05)) add({"--wrong-echo", std::to_string(between(0, plan.records - 1))});
  if (chance(0.05)) add({"--corrupt-page-data", std::to_string(between(0, plan.records - 1))});
  if (chance(0.05)) add({"--corrupt-page-sum", std::to_string(between(0, plan.records - 1))});
  if (chance(0.08)) {
    add({"--corrupt-flash", std::to_string(plan.base + between(0, 128 * plan.records - 1))});
  }
  if (chance(0.05)) add({"--run-zero"});
  if (chance(0.05)) add({chance(0.5) ? "--closing-silent" : "--finish-silent"});
  for (const std::string& a : s) plan.description += a + " ";
  for (const std::string& a : plan.flash_args) plan.description += a + " ";
  return plan;
}

// Checks one run; returns what went wrong, empty when nothing did.
std::string Judge(const Plan& plan, const std::vector<std::uint8_t>& image,
                  const testing::RunResult& run, const testing::SimResult& sim, double seconds,
                  const std::string& complete_text) {
  if (!run.end.exited)
    return "vexo-flash did not exit (signal " + std::to_string(run.end.signal) + ")";
  if (run.end.exit_code != 0 && run.end.exit_code != 1) {
    return "exit status " + std::to_string(run.end.exit_code);
  }
  if (seconds > BoundSeconds(plan.records, plan.verify)) {
    return "took " + std::to_string(seconds) + " s";
  }
  std::vector<std::string> lines;
  std::istringstream in(run.error_output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const bool told_complete = std::count(lines.begin(), lines.end(), complete_text) > 0;
  if (run.end.exit_code == 0 && (lines.empty() || lines.back() != complete_text)) {
    return "completed without the completion message last";
  }
  if (run.end.exit_code == 1 && (lines.empty() || told_complete)) {
    return "stopped without a reason, or with the completion message";
  }
  if (!sim.report) return "no report from the simulator";
  if (run.end.exit_code == 0 && plan.verify) {
    const auto& flash = sim.report->flash;
    for (int i = 0; i < plan.records; ++i) {
      const std::size_t at = 36 + 133 * static_cast<std::size_t>(i);
      const std::size_t address = plan.base + 128 * static_cast<std::size_t>(i);
      if (address + 128 > flash.size() || !std::equal(image.begin() + static_cast<long>(at) + 4,
                                                      image.begin() + static_cast<long>(at) + 132,
                                                      flash.begin() + static_cast<long>(address))) {
        return "verified download left record " + std::to_string(i) + " wrong in the flash";
      }
    }
  }
  // The simulator notes the host opening and closing its end of the line (and
  // bytes it had to drop once nobody listened); a hang-up ends the line.
  bool open = false;
  for (const sim::ReportEvent& e : sim.report->Select(sim::kEventPort)) {
    if (e.note == "opened") open = true;
    if (e.note == "closed" || e.note == "hung up") open = false;
  }
  if (open) return "the port was left open";
  return {};
}

}  // namespace

CampaignResult RunCampaign(int runs, int jobs, unsigned seed, const std::string& scratch) {
  // The texts vexo-flash prints come from the language file next to it.
  AppState().WorkingDirectory =
      testing::ProgramPath("").substr(0, testing::ProgramPath("").size() - 1);
  AppState().LanguageBase = kLanguageChinese;
  // Without a stored language vexo-flash speaks the locale's: make it Chinese.
  setenv("LC_ALL", "zh_CN.UTF-8", 1);
  const std::string complete_text = LookupText(text::kDownloadComplete);

  CampaignResult result;
  result.runs = runs;
  std::mutex mutex;
  std::atomic<int> next{0};
  const auto start = std::chrono::steady_clock::now();
  auto worker = [&](int id) {
    for (int run; (run = next++) < runs;) {
      std::mt19937 pick(seed + static_cast<unsigned>(run));
      const std::string image_path = scratch + "/campaign-" + std::to_string(id) + ".BIN";
      Plan plan = MakePlan(pick, image_path);
      std::ifstream in(image_path, std::ios::binary);
      std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), {});
      testing::SimProcess sim(plan.sim_args);
      std::string violation;
      testing::RunResult flash;
      testing::SimResult ended;
      double seconds = 0;
      if (!sim.ok()) {
        violation = "simulator did not start: " + sim.error();
      } else {
        std::vector<std::string> args = {"--port", sim.pty_path()};
        args.insert(args.end(), plan.flash_args.begin(), plan.flash_args.end());
        const auto began = std::chrono::steady_clock::now();
        flash = testing::RunProgram(testing::ProgramPath("vexo-flash"), args,
                                    std::chrono::seconds(300));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        // The simulator learns of the host closing the line a moment later,
        // more so on a loaded machine: wait until it has seen it.
        sim.WaitForErrorOutput("closed", std::chrono::seconds(3));
        ended = sim.Stop();
        violation = Judge(plan, image, flash, ended, seconds, complete_text);
      }
      std::lock_guard lock(mutex);
      (flash.end.exit_code == 0 ? result.completed : result.stopped)++;
      if (!violation.empty()) {
        result.violations.push_back("run " + std::to_string(run) + ": " + violation + " [" +
                                    plan.description + "]");
      }
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < jobs; ++i) threads.emplace_back(worker, i);
  for (std::thread& t : threads) t.join();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace vexo::bench
