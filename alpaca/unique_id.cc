#include "alpaca/unique_id.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr char kFileName[] = "alpaca-unique-id";

}  // namespace

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

std::FILE* OpenStateFile(const std::string& name, const char* mode) {
  const std::filesystem::path path(name);
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::string LoadUniqueId(const std::string& folder, std::string* problem) {
  if (folder.empty()) {
    *problem = "no folder to keep it in (neither STATE_DIRECTORY, XDG_STATE_HOME nor HOME is set)";
    return RandomUuid();
  }
  const std::filesystem::path path = std::filesystem::path(folder) / kFileName;
  // stdio rather than file streams, which would set up the C++ locale
  // machinery (a few hundred kilobytes of a long-running server's memory)
  // for one line read once.
  char text[40] = "";
  if (std::FILE* file = OpenStateFile(path.string(), "r")) {
    const bool read = std::fscanf(file, "%39s", text) == 1;
    std::fclose(file);
    if (read && LooksLikeUuid(text)) return text;
  }
  const std::string id = RandomUuid();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::FILE* file = OpenStateFile(path.string(), "w");
  const bool written = file != nullptr && std::fprintf(file, "%s\n", id.c_str()) > 0;
  if (file == nullptr || std::fclose(file) != 0 || !written) {
    *problem = "it could not be written to " + path.string();
  }
  return id;
}
