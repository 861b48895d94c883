// The dimmer as kept by a program that serves clients for hours (the INDI
// driver, the Alpaca server): the one place where such a program exchanges
// with it.
//
// - Requests queue here and are carried out one at a time, in steps that
//   never wait: the latest value asked for each target wins, and a level is
//   applied before a switch, so "on" after a level comes on at that level.
// - Each operation takes the dimmer's lock and gives it up afterwards, so
//   quorlet, orvane and other programs take their turns in between.
// - The state is read again every refresh period, so what others change
//   shows; a dimmer that stops answering keeps its last known state, is
//   looked for again every period, and its loss and return are told once
//   each.
//
// Single-threaded: the program calls Run after every Request and whenever
// the delay that Run returned has passed.
#ifndef DIMMER_DIMMER_OWNER_H_
#define DIMMER_DIMMER_OWNER_H_

#include <cstddef>
#include <cstdint>

#include "dimmer/usb_dimmer.h"

enum class DimmerTarget { kIntensity = 0, kSwitch = 1 };

// How long a client's connect waits at most for a program that holds the
// dimmer: a change by quorlet or orvane takes a fraction of a second.
constexpr unsigned kConnectLockWaitMs = 5000;

class DimmerOwner {
 public:
  enum class Level { kInfo, kWarning, kError };

  // Hears of what the program's clients and log should see.
  class Listener {
   public:
    // The light, a request's progress or the dimmer's presence changed.
    // Never called from Connect: the program shows the state it connected
    // to when it is ready to.
    virtual void DimmerChanged() = 0;
    // One line for the program's log, without a level word or line end.
    virtual void DimmerMessage(Level level, const char* text) = 0;

   protected:
    ~Listener() = default;
  };

  static constexpr int32_t kNone = -1;
  static constexpr unsigned kDefaultRefreshMs = 1000;

  explicit DimmerOwner(Listener& listener) : listener(listener) {}

  // The device behind the dimmer code and where its own warnings go (null:
  // nowhere), for the next Connect.
  void Use(const HidLink& link, std::FILE* log) {
    dimmer.Use(link);
    dimmer.SetLog(log);
  }
  DimmerOwner(const DimmerOwner&) = delete;
  DimmerOwner& operator=(const DimmerOwner&) = delete;

  // Opens the dimmer whose ID is `id` (null or empty: the first in the
  // stable order), waiting up to `lock_wait_ms` for a program that uses
  // it, reads it, and gives its lock up again: kDone, or why it failed (see
  // UsbDimmer::Connect), which the dimmer code has logged. A lost dimmer
  // is looked for by the ID of the unit connected.
  DimmerResult Connect(unsigned lock_wait_ms, const char* id = nullptr);
  // The ID of the unit connected to.
  const char* unit_id() const { return dimmer.unit_id(); }
  // Closes the dimmer, leaving the light as it is, and forgets the queue.
  void Disconnect();

  bool connected() const { return connected_; }
  // Connected, and the dimmer answers.
  bool present() const { return present_; }
  // The light as last read from or given to the dimmer, kept while it is
  // lost. While off, intensity() is the level it will come on at.
  bool on() const { return on_; }
  int32_t intensity() const { return intensity_; }

  // The latest value asked for `target` while it is queued or under way,
  // else kNone.
  int32_t Asked(DimmerTarget target) const;
  bool Busy(DimmerTarget target) const { return Asked(target) != kNone; }
  bool Busy() const { return Busy(DimmerTarget::kIntensity) || Busy(DimmerTarget::kSwitch); }
  // Whether the last request for `target` failed; cleared by the next one,
  // and when a lost dimmer is found again.
  bool Failed(DimmerTarget target) const { return failed[Index(target)]; }
  // Why the last request failed, or "".
  const char* failure() const { return failure_text; }

  // Queues an intensity (0-kMaxIntensity) or a switch (1 on, 0 off):
  // kDone, or, with nothing queued, kNotConnected or kIoError (the dimmer
  // does not answer).
  DimmerResult Request(DimmerTarget target, int32_t value);

  // Carries out what is due now; returns the milliseconds until the next
  // call is due.
  unsigned Run();

  void set_refresh_period(unsigned milliseconds) { refresh_period = milliseconds; }
  // How long a change waits for another program to finish with the dimmer.
  void set_lock_wait(unsigned milliseconds) { lock_wait = milliseconds; }
  unsigned refresh_period_ms() const { return refresh_period; }

 private:
  enum class Step { kIdle, kWaitingForLock, kChanging };

  static int Index(DimmerTarget target) { return static_cast<int>(target); }
  void StartNext(int64_t now);
  void Poll(int64_t now);
  void Finish(DimmerResult result);
  // What a finished request did to the light, for the log.
  void TellLight(DimmerTarget target, int32_t value);
  void FailQueued(const char* reason);
  void Refresh();
  void Lose();
  void Reconnect();
  void TakeState();
  void Tell(Level level, const char* format, ...);
  // "on at 640", "off; it will come on at 900".
  const char* Describe(char* out, size_t size) const;

  Listener& listener;
  UsbDimmer dimmer;
  bool connected_ = false;
  bool present_ = false;
  bool on_ = false;
  int32_t intensity_ = 0;
  int32_t wanted[2] = {kNone, kNone};
  bool failed[2] = {false, false};
  Step step = Step::kIdle;
  DimmerTarget current = DimmerTarget::kIntensity;
  int32_t current_value = kNone;
  // The level being changed was asked for with a switch, and then its line
  // told the light's state.
  bool switch_follows = false;
  bool level_told = false;
  int64_t lock_wait_started = -1;
  int64_t next_step = 0;
  int64_t next_refresh = 0;
  unsigned refresh_period = kDefaultRefreshMs;
  unsigned lock_wait = kLockWaitMs;
  char failure_text[160] = "";
};

#endif  // DIMMER_DIMMER_OWNER_H_
