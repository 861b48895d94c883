#include "simulation/dimmer_model.h"

#include <cstdio>
#include <cstring>

#include "dimmer/dimmer_protocol.h"

void DimmerModel::Reset(uint16_t intensity, int busy_answers, bool short_busy) {
  intensity_ = pending_ = intensity;
  busy_answers_ = busy_answers;
  short_busy_ = short_busy;
  busy_left_ = 0;
}

void DimmerModel::set_state(const State& state) {
  intensity_ = state.intensity;
  pending_ = state.pending;
  busy_left_ = state.busy_left;
}

int DimmerModel::Answer(const unsigned char* request, size_t length,
                        unsigned char answer[kAnswerSize]) {
  std::memset(answer, 0, kAnswerSize);
  if (length < 4) return 0;
  const unsigned char command = request[1];
  answer[0] = command;
  if (length > 4) answer[3] = request[4];
  switch (command) {
    case kGetIntensityCommand:
      answer[1] = intensity_ & 0xFF;
      answer[2] = intensity_ >> 8;
      break;
    case kSetIntensityCommand:
      pending_ = static_cast<uint16_t>(request[2] | request[3] << 8);
      break;
    case kSetStateCommand:
      if (request[2] == kApplyStateValue) {
        intensity_ = pending_;
        busy_left_ = busy_answers_;
      }
      break;
    case kGetStateCommand:
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

void DimmerModel::Describe(const unsigned char* request, size_t length, char* out, size_t size) {
  if (length < 4) {
    std::snprintf(out, size, "malformed request of %zu bytes", length);
    return;
  }
  int used = 0;
  switch (request[1]) {
    case kGetIntensityCommand:
      used = std::snprintf(out, size, "getinten");
      break;
    case kSetIntensityCommand:
      used = std::snprintf(out, size, "setinten %u", request[2] | request[3] << 8);
      break;
    case kSetStateCommand:
      used = std::snprintf(out, size, "setstate %u", request[2]);
      break;
    case kGetStateCommand:
      used = std::snprintf(out, size, "getstate");
      break;
    default:
      used = std::snprintf(out, size, "unknown 0x%02x %u %u", request[1], request[2], request[3]);
      break;
  }
  if (request[0] != 0 || length != 5) {
    std::snprintf(out + used, size - used, " (report id %u, %zu bytes)", request[0], length);
  }
}
