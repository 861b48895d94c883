#include "testing/dimmer_model.h"

#include <cstring>

namespace {
constexpr unsigned char kSetState = 0x10;
constexpr unsigned char kGetState = 0x11;
constexpr unsigned char kSetIntensity = 0x20;
constexpr unsigned char kGetIntensity = 0x21;
constexpr unsigned char kApply = 3;
}  // namespace

void DimmerModel::Reset(uint16_t intensity, int busy_answers, bool short_busy) {
  intensity_ = pending_ = intensity;
  busy_answers_ = busy_answers;
  short_busy_ = short_busy;
  busy_left_ = 0;
}

int DimmerModel::Answer(const unsigned char* request, size_t length,
                        unsigned char answer[kAnswerSize]) {
  std::memset(answer, 0, kAnswerSize);
  if (length < 4) return 0;
  const unsigned char command = request[1];
  answer[0] = command;
  switch (command) {
    case kGetIntensity:
      answer[1] = intensity_ & 0xFF;
      answer[2] = intensity_ >> 8;
      break;
    case kSetIntensity:
      pending_ = static_cast<uint16_t>(request[2] | request[3] << 8);
      break;
    case kSetState:
      if (request[2] == kApply) {
        intensity_ = pending_;
        busy_left_ = busy_answers_;
      }
      break;
    case kGetState:
      if (busy_left_ > 0) {
        --busy_left_;
        answer[1] = 1;
        if (short_busy_) return 1;
      }
      break;
    default:
      break;
  }
  return kAnswerSize;
}
