#include "alpaca/host_policy.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  while (!lower.empty() && lower.back() == '.') lower.pop_back();
  return lower;
}

bool AllOf(std::string_view text, const char* allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

bool IsIpv4(std::string_view text) {
  int parts = 0;
  while (true) {
    const size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (!AllOf(part, "0123456789") || part.size() > 3) return false;
    int value = 0;
    for (const char digit : part) value = value * 10 + (digit - '0');
    if (value > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) return parts == 4;
    text.remove_prefix(dot + 1);
  }
}

}  // namespace

HostPolicy::HostPolicy(const std::string& machine_name, const std::vector<std::string>& allowed) {
  names.push_back("localhost");
  const std::string machine = Lower(machine_name);
  if (!machine.empty()) {
    names.push_back(machine);
    const std::string label = machine.substr(0, machine.find('.'));
    names.push_back(label);
    names.push_back(label + ".local");
  }
  for (const std::string& name : allowed) names.push_back(Lower(name));
}

bool HostPolicy::Allows(std::string_view host) const {
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view rest = host.substr(close + 1);
    return AllOf(host.substr(1, close - 1), "0123456789abcdefABCDEF:.") &&
           (rest.empty() || (rest[0] == ':' && (rest.size() == 1 || AllOf(rest.substr(1), "0123456789"))));
  }
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = host.substr(colon + 1);
    if (!port.empty() && !AllOf(port, "0123456789")) return false;
    host = host.substr(0, colon);
  }
  const std::string name = Lower(host);
  if (IsIpv4(name)) return true;
  return !name.empty() && std::find(names.begin(), names.end(), name) != names.end();
}
