#include "alpaca/unique_id.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr char kFileName[] = "alpaca-unique-id";

// A version 4 (random) UUID, in its usual lower-case form.
std::string RandomUuid() {
  std::random_device random;
  unsigned char bytes[16];
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

bool LooksLikeUuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

std::string LoadUniqueId(const std::string& folder, std::string* problem) {
  if (folder.empty()) {
    *problem = "no folder to keep it in (neither STATE_DIRECTORY, XDG_STATE_HOME nor HOME is set)";
    return RandomUuid();
  }
  const std::filesystem::path path = std::filesystem::path(folder) / kFileName;
  std::string id;
  if (std::ifstream(path) >> id && LooksLikeUuid(id)) return id;
  id = RandomUuid();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::ofstream file(path);
  file << id << "\n";
  file.close();
  if (!file) *problem = "it could not be written to " + path.string();
  return id;
}
