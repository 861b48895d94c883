// Preloaded into the programs by the kernel test's concurrency scenario, in
// front of HIDAPI, to count the answers a program takes for its own that
// were meant for another. It marks each request with DIMMER_PROBE_TAG in the
// request's spare byte (byte 4), which the dimmer carries back in its
// answer's spare byte (byte 3); the programs read neither byte. Each answer
// a program reads as its own that carries another mark is appended to
// DIMMER_PROBE_LOG as "TAG foreign ANSWER-TAG"; answers read off without
// waiting (left over, drained) as "TAG drained ANSWER-TAG".
#include <dlfcn.h>
#include <hidapi/hidapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

unsigned char Tag() {
  const char* tag = std::getenv("DIMMER_PROBE_TAG");
  return static_cast<unsigned char>(tag != nullptr ? std::atoi(tag) : 0);
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void Note(const char* what, unsigned answer_tag) {
  const char* path = std::getenv("DIMMER_PROBE_LOG");
  if (path == nullptr) return;
  std::FILE* log = std::fopen(path, "a");
  if (log == nullptr) return;
  std::fprintf(log, "%u %s %u\n", static_cast<unsigned>(Tag()), what, answer_tag);
  std::fclose(log);
}

}  // namespace

extern "C" {

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  using Write = int (*)(hid_device*, const unsigned char*, size_t);
  const Write next = Next<Write>("hid_write");
  unsigned char marked[64];
  if (length < 5 || length > sizeof marked) return next(dev, data, length);
  std::memcpy(marked, data, length);
  marked[4] = Tag();
  return next(dev, marked, length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  using Read = int (*)(hid_device*, unsigned char*, size_t, int);
  const Read next = Next<Read>("hid_read_timeout");
  const int count = next(dev, data, length, milliseconds);
  if (count >= 4 && (milliseconds == 0 || data[3] != Tag())) {
    Note(milliseconds == 0 ? "drained" : "foreign", data[3]);
  }
  return count;
}

}  // extern "C"
