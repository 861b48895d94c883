#include "testing/program_run.h"

#include <cctype>

namespace {

// '#' stands for a digit.
constexpr char kPrefixShape[] = "[####-##-## ##:##:##.###] ";
constexpr size_t kPrefixLength = sizeof kPrefixShape - 1;

bool HasPrefix(const std::string& text, size_t at) {
  if (text.size() - at < kPrefixLength) return false;
  for (size_t i = 0; i < kPrefixLength; ++i) {
    const char c = text[at + i];
    const bool fits = kPrefixShape[i] == '#' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                             : c == kPrefixShape[i];
    if (!fits) return false;
  }
  return true;
}

}  // namespace

ProgramOptions StdoutToFile(const std::string& path) {
  ProgramOptions options;
  options.stdout_path = path;
  return options;
}

ProgramOptions WithStreams(Stream out, Stream err) {
  ProgramOptions options;
  options.stdout_stream = out;
  options.stderr_stream = err;
  return options;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(&s[0]);
  pointers.push_back(nullptr);
  return pointers;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> merged;
  for (const std::string& current : EnvironmentEntries()) {
    const std::string name = current.substr(0, current.find('=') + 1);
    bool replaced = name.rfind("DIMMER_SIM_", 0) == 0;  // never inherit a setting
    for (const std::string& change : changes) replaced |= change.rfind(name, 0) == 0;
    if (!replaced) merged.push_back(current);
  }
  merged.insert(merged.end(), changes.begin(), changes.end());
  return merged;
}

std::string MaskTimestamps(const std::string& text) {
  std::string masked;
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    end = end == std::string::npos ? text.size() : end + 1;
    size_t from = line;
    if (HasPrefix(text, line)) {
      masked += "[T] ";
      from += kPrefixLength;
    }
    masked.append(text, from, end - from);
    line = end;
  }
  return masked;
}
