// The light dimmer's firmware as the programs see it: it answers getinten,
// setinten, setstate and getstate, keeps an intensity, and reports itself
// busy for a set number of polls after each change. Each answer carries the
// request's spare byte (byte 4) back in its own spare byte (byte 3), so a
// test that marks its requests can tell whose answer it read.
#ifndef SIMULATION_DIMMER_MODEL_H_
#define SIMULATION_DIMMER_MODEL_H_

#include <cstddef>
#include <cstdint>

class DimmerModel {
 public:
  static constexpr int kAnswerSize = 4;

  // Starts afresh at `intensity`. After each change getstate answers busy
  // `busy_answers` times; with `short_busy` those answers are one byte long.
  void Reset(uint16_t intensity, int busy_answers, bool short_busy);

  // Takes one written report (report ID, command, two argument bytes, one
  // spare byte) and returns the length of the answer it puts in `answer`.
  int Answer(const unsigned char* request, size_t length,
             unsigned char answer[kAnswerSize]);

  // What the device holds between requests, for processes that share one
  // device through a file.
  struct State {
    uint16_t intensity;
    uint16_t pending;  // set by setinten, applied by setstate
    int busy_left;
  };
  State state() const { return {intensity_, pending_, busy_left_}; }
  void set_state(const State& state);

  uint16_t intensity() const { return intensity_; }

  // One request as a line of a traffic log: "setinten 300", "setstate 3",
  // "getinten"; with the report ID and length noted when they are not the
  // 0 and 5 bytes the programs always write.
  static void Describe(const unsigned char* request, size_t length, char* out, size_t size);

 private:
  uint16_t intensity_ = 0;
  uint16_t pending_ = 0;
  int busy_answers_ = 0;
  bool short_busy_ = false;
  int busy_left_ = 0;
};

#endif  // SIMULATION_DIMMER_MODEL_H_
