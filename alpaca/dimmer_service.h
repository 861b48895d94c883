// The dimmer as the server's HTTP threads see it. One thread of its own
// keeps the dimmer, through a DimmerOwner, and makes every device exchange:
// connecting, the changes clients ask for, and the refresh. Handlers read
// the state it publishes and post requests; apart from a synchronous
// connect they never wait for the device, and however often clients poll,
// the dimmer sees only the refresh and the changes.
#ifndef ALPACA_DIMMER_SERVICE_H_
#define ALPACA_DIMMER_SERVICE_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "dimmer/dimmer_owner.h"
#include "dimmer/hid_link.h"

class DimmerService : private DimmerOwner::Listener {
 public:
  // What clients may read, as the service thread last published it.
  struct State {
    bool connected = false;   // the dimmer is open
    bool connecting = false;  // a connect or disconnect is under way
    std::string connect_error;  // why the last connect failed, or ""
    bool present = false;     // connected, and the dimmer answers
    bool on = false;
    int32_t intensity = 0;    // while off, the level it will come on at
    bool changing = false;    // a change is queued or under way
    std::string failure;      // why the last change failed, or ""
    bool on_at_zero = false;  // switched "on" at brightness 0, and still so
    // When the dimmer was last read, in ISO 8601 UTC to the millisecond.
    char read_at[32] = "1970-01-01T00:00:00.000Z";
  };

  // The unit `unit_id` behind `link` ("": the first attached), with what
  // happens to it logged to `log` (null: nowhere).
  DimmerService(const HidLink& link, std::FILE* log, std::string unit_id = "");
  ~DimmerService();
  DimmerService(const DimmerService&) = delete;
  DimmerService& operator=(const DimmerService&) = delete;

  State Snapshot() const;
  // The unit served: given at construction, or by Bind for a service that
  // stood for the first unit to be seen.
  std::string UnitId() const;
  void Bind(const std::string& unit_id);
  // Closes the dimmer, leaving the light as it is; the service answers no
  // more.
  void Stop();

  // Asks for a connect (waiting at most kConnectLockWaitMs for another
  // program's lock) or a disconnect; Snapshot().connecting is true until it
  // is done. WaitWhileConnecting then waits for that.
  void PostConnect();
  void PostDisconnect();
  void WaitWhileConnecting();

  // The light on at `brightness` (what `quorlet brightness` does: 0 switches
  // it off), or off. Callers check that the dimmer is present first.
  void PostOn(int32_t brightness);
  void PostOff();

 private:
  enum class Command { kNone, kConnect, kDisconnect };
  struct Posted {
    Command command = Command::kNone;
    int32_t intensity = DimmerOwner::kNone;
    int32_t switch_to = DimmerOwner::kNone;
  };

  // Queues a level (unless kNone) and a switch; `at_zero` when it is an
  // "on" at brightness 0.
  void Post(int32_t intensity, int32_t switch_to, bool at_zero);
  void Loop();
  void Carry(const Posted& posted);
  void Publish();
  // Makes `state` what Snapshot returns; call with `mutex` held.
  void Share();
  static void FormatUtc(int64_t unix_micros, char* out, size_t size);
  void DimmerChanged() override {}
  void DimmerMessage(DimmerOwner::Level level, const char* text) override;

  std::FILE* const log;
  std::string unit;  // with `mutex`
  DimmerOwner owner{*this};
  mutable std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable connected_changed;
  State state;
  // Every request reads the state, from many threads at once. A reader
  // preempted while it held a plain mutex would stall all the others for a
  // time slice, so readers share a lock and a copy that only Share writes.
  mutable std::shared_mutex shared_mutex;
  State shared;
  Posted posted;
  bool zero_pending = false;  // "on at 0" asked, not yet done
  bool stopping = false;
  std::thread thread;
};

#endif  // ALPACA_DIMMER_SERVICE_H_
