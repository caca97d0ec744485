// The jobs' options, gathered first and then checked together, in whatever order they came.
#include "app/job_options.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// What follows a job option: nothing, a value that may not be empty, or a value that may be empty
// (an intake: the empty intake is one the menu takes too).
enum class Takes { kNothing, kValue, kValueOrEmpty };

// Each job option: what it takes, and the jobs it goes with (none: it is a job itself).
struct JobOptionRule {
  const char* name;
  Takes takes;
  const char* goesWith[2];
};

constexpr JobOptionRule kJobOptionRules[] = {
    {"--letters", Takes::kValueOrEmpty, {nullptr, nullptr}},
    {"--export", Takes::kValue, {nullptr, nullptr}},
    {"--standing", Takes::kValue, {nullptr, nullptr}},
    {"--check", Takes::kNothing, {nullptr, nullptr}},
    {"--output", Takes::kValue, {"--letters", nullptr}},
    {"--printable", Takes::kValue, {"--letters", nullptr}},
    {"--paper", Takes::kValue, {"--printable", nullptr}},
    {"--address-offset", Takes::kValue, {"--printable", nullptr}},
    {"--sender", Takes::kValue, {"--printable", nullptr}},
    {"--intake", Takes::kValueOrEmpty, {"--export", "--standing"}},
    {"--separator", Takes::kValue, {"--export", "--standing"}},
};

bool isJob(const JobOptionRule& rule) {
  return rule.goesWith[0] == nullptr;
}

// The value of an option given as the next argument or after '=', and the first problem with it.
void readValue(const JobOptionRule& rule, const std::string& argument, int argc,
               const char* const* argv, int& i, JobOptions& options) {
  const std::string option = rule.name;
  const bool joined = argument.size() > option.size();
  std::string value;
  if (rule.takes == Takes::kNothing && joined && options.problem.empty()) {
    options.problem = option + " takes no value";
  } else if (rule.takes != Takes::kNothing) {
    const bool given = joined || i + 1 < argc;
    value = joined ? argument.substr(option.size() + 1) : given ? argv[++i] : "";
    const bool emptyTaken = given && rule.takes == Takes::kValueOrEmpty;
    if (value.empty() && !emptyTaken && options.problem.empty()) {
      options.problem = option + " needs a value";
    }
  }
  if (!options.values.emplace(option, value).second && options.problem.empty()) {
    options.problem = option + " given twice";
  }
}

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

// The one job asked for, or why there is none: one job at a time, each other option with its job.
std::string chooseJob(const JobOptions& options, std::string& chosen) {
  auto has = [&options](const char* name) { return name != nullptr && options.values.count(name); };
  for (const JobOptionRule& rule : kJobOptionRules) {
    if (!has(rule.name)) {
      continue;
    }
    if (isJob(rule) && !chosen.empty()) {
      return "one job at a time: " + chosen + " and " + rule.name;
    }
    if (isJob(rule)) {
      chosen = rule.name;
    } else if (!has(rule.goesWith[0]) && !has(rule.goesWith[1])) {
      return std::string(rule.name) + " goes with " + rule.goesWith[0] +
             (rule.goesWith[1] != nullptr ? std::string(" or ") + rule.goesWith[1] : "");
    }
  }
  if (has("--output") && has("--printable")) {
    return "--output and --printable: the printable letters go to the --printable file";
  }
  return "";
}

// The layout options (the printable letters' paper and address offset, the CSV's separator), or
// why a value is wrong.
std::string readLayout(const JobOptions& options, OfficeJob& job) {
  const auto& values = options.values;
  if (values.count("--paper") != 0) {
    const std::string& paper = values.at("--paper");
    if (paper != "a4" && paper != "letter") {
      return "--paper is a4 or letter, not '" + paper + "'";
    }
    job.paper = paper == "a4" ? OfficeJob::Paper::kA4 : OfficeJob::Paper::kLetter;
  }
  if (values.count("--separator") != 0) {
    const std::string& separator = values.at("--separator");
    if (separator != "comma" && separator != "semicolon") {
      return "--separator is comma or semicolon, not '" + separator + "'";
    }
    job.semicolons = separator == "semicolon";
  }
  if (values.count("--address-offset") != 0 &&
      !parseOffset(values.at("--address-offset"), job.addressRightMm, job.addressDownMm)) {
    return "--address-offset is RIGHT,DOWN in mm, each from -100 to 100, not '" +
           values.at("--address-offset") + "'";
  }
  return "";
}

}  // namespace

bool readJobOption(int argc, const char* const* argv, int& i, JobOptions& options) {
  const std::string argument = argv[i];
  for (const JobOptionRule& rule : kJobOptionRules) {
    const std::string option = rule.name;
    if (argument == option || argument.rfind(option + "=", 0) == 0) {
      readValue(rule, argument, argc, argv, i, options);
      return true;
    }
  }
  return false;
}

std::string buildJob(const JobOptions& options, OfficeJob& job) {
  std::string chosen;
  const std::string problem = chooseJob(options, chosen);
  if (!problem.empty()) {
    return problem;
  }
  auto value = [&options](const char* name) {
    const auto found = options.values.find(name);
    return found == options.values.end() ? std::string() : found->second;
  };
  job.kind = chosen == "--letters"    ? OfficeJob::Kind::kLetters
             : chosen == "--export"   ? OfficeJob::Kind::kExport
             : chosen == "--standing" ? OfficeJob::Kind::kStanding
                                      : OfficeJob::Kind::kCheck;
  job.intake = chosen == "--letters" ? value("--letters") : value("--intake");
  job.hasIntake = options.values.count("--letters") != 0 || options.values.count("--intake") != 0;
  job.output = chosen == "--letters" ? value("--output") : value(chosen.c_str());
  job.printable = value("--printable");
  job.sender = value("--sender");
  return readLayout(options, job);
}
