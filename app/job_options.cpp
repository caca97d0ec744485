// The jobs' options, gathered first and then checked together, in whatever order they came.
#include "app/job_options.h"

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// A value may not be empty.
const char* const kJobOptions[] = {"--letters", "--output", "--printable", "--paper",
                                   "--intake",  "--export", "--standing",  "--address-offset",
                                   "--check",   "--sender"};

}  // namespace

bool readJobOption(int argc, const char* const* argv, int& i, JobOptions& options) {
  const std::string argument = argv[i];
  for (const char* name : kJobOptions) {
    const std::string option = name;
    const bool joined = argument.rfind(option + "=", 0) == 0;
    if (argument != option && !joined) {
      continue;
    }
    std::string value;
    if (option == "--check") {
      if (joined) {
        options.problem = "--check takes no value";
      }
    } else if (joined) {
      value = argument.substr(option.size() + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    if (option != "--check" && value.empty() && options.problem.empty()) {
      options.problem = option + " needs a value";
    }
    if (!options.values.emplace(option, value).second && options.problem.empty()) {
      options.problem = option + " given twice";
    }
    return true;
  }
  return false;
}

namespace {

// "RIGHT,DOWN" in millimetres, each within a hand's breadth of the window.
bool parseOffset(const std::string& text, double& right, double& down) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return false;
  }
  auto number = [](const std::string& part, double& value) {
    char* end = nullptr;
    value = std::strtod(part.c_str(), &end);
    return !part.empty() && end == part.c_str() + part.size() && std::isfinite(value) &&
           std::fabs(value) <= 100;
  };
  return number(text.substr(0, comma), right) && number(text.substr(comma + 1), down);
}

}  // namespace

std::string buildJob(const JobOptions& options, OfficeJob& job) {
  const auto& values = options.values;
  auto has = [&values](const char* name) { return values.count(name) != 0; };
  const char* chosen = nullptr;
  for (const char* name : {"--letters", "--export", "--standing", "--check"}) {
    if (!has(name)) {
      continue;
    }
    if (chosen != nullptr) {
      return std::string("one job at a time: ") + chosen + " and " + name;
    }
    chosen = name;
  }
  // Which job each of the other options goes with.
  const std::pair<const char*, std::vector<std::string>> belongs[] = {
      {"--output", {"--letters"}},   {"--printable", {"--letters"}},
      {"--paper", {"--printable"}},  {"--address-offset", {"--printable"}},
      {"--sender", {"--printable"}}, {"--intake", {"--export", "--standing"}}};
  for (const auto& [option, jobs] : belongs) {
    if (!has(option)) {
      continue;
    }
    bool fits = false;
    for (const std::string& owner : jobs) {
      fits = fits || has(owner.c_str());
    }
    if (!fits) {
      return std::string(option) + " goes with " + jobs[0] +
             (jobs.size() > 1 ? " or " + jobs[1] : "");
    }
  }
  if (has("--output") && has("--printable")) {
    return "--output and --printable: the printable letters go to the --printable file";
  }
  const std::string name = chosen;
  job.kind = name == "--letters"    ? OfficeJob::Kind::kLetters
             : name == "--export"   ? OfficeJob::Kind::kExport
             : name == "--standing" ? OfficeJob::Kind::kStanding
                                    : OfficeJob::Kind::kCheck;
  job.intake = has("--letters")  ? values.at("--letters")
               : has("--intake") ? values.at("--intake")
                                 : "";
  job.output = has("--output")     ? values.at("--output")
               : has("--export")   ? values.at("--export")
               : has("--standing") ? values.at("--standing")
                                   : "";
  job.printable = has("--printable") ? values.at("--printable") : "";
  job.sender = has("--sender") ? values.at("--sender") : "";
  if (has("--paper")) {
    const std::string& paper = values.at("--paper");
    if (paper != "a4" && paper != "letter") {
      return "--paper is a4 or letter, not '" + paper + "'";
    }
    job.paper = paper == "a4" ? OfficeJob::Paper::kA4 : OfficeJob::Paper::kLetter;
  }
  if (has("--address-offset") &&
      !parseOffset(values.at("--address-offset"), job.addressRightMm, job.addressDownMm)) {
    return "--address-offset is RIGHT,DOWN in mm, each from -100 to 100, not '" +
           values.at("--address-offset") + "'";
  }
  return "";
}
