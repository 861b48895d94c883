// Every request path of both programs as built, failed at every device
// exchange in every way the device can fail: each run must end with the
// right status and messages, send nothing after the failure, close the
// handle exactly once, and neither crash nor hang.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dimmer/platform.h"
#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

enum class Program { kQuorlet, kOrvane };

// One way through a program, and the exchanges it makes with the device.
struct Path {
  const char* name;
  Program program;
  std::vector<std::string> args;
  int start_intensity;
  std::vector<std::string> exchanges;  // as the traffic log names them
};

std::vector<std::string> Change(const std::string& value) {
  return {"getinten", "setinten " + value, "setstate 3", "getstate"};
}

const std::vector<Path>& Paths() {
  static const std::vector<Path> paths = {
      {"QuorletStatus", Program::kQuorlet, {}, 500, {"getinten"}},
      {"QuorletOffFromOn", Program::kQuorlet, {"0"}, 500, Change("0")},
      {"QuorletLevelFromOff", Program::kQuorlet, {"300"}, 0, Change("300")},
      {"QuorletLevelFromOn", Program::kQuorlet, {"300"}, 500, Change("300")},
      {"OrvaneLFromOff", Program::kOrvane, {"3", "L", "B128", "S"}, 0, Change("176")},
      {"OrvaneLFromOn", Program::kOrvane, {"3", "L", "B128", "S"}, 500, Change("176")},
      {"OrvaneDFromOn", Program::kOrvane, {"3", "D", "S"}, 500, Change("0")},
  };
  return paths;
}

struct Cell {
  std::string name;
  const Path* path;
  std::vector<std::string> settings;
  std::string err;  // timestamps masked
  int exit_status;
  std::vector<std::string> traffic;
};

constexpr const char* kWriteWarning = "[T] WARN: hid_write: -1: simulated write error\n";
constexpr const char* kReadWarning = "[T] WARN: hid_read_timeout returned -1\n";

std::string ConnectFailure(Program program, const std::string& warnings) {
  if (program == Program::kOrvane) return "could not connect to usb dimmer!\n";
  return warnings + "[T] ERROR: could not connect\n";
}

std::string ChangeFailure(Program program, const std::string& warnings) {
  if (program == Program::kOrvane) return "could not set usb dimmer!\n";
  return warnings + "[T] ERROR: could not change the light\n";
}

// What quorlet warns when `exchange` fails with `kind`.
std::string Warnings(const std::string& exchange, const std::string& kind) {
  if (exchange == "getinten") {
    const std::string lost = "[T] WARN: could not read intensity\n";
    if (kind == "write") {
      return "[T] WARN: Unable to write()\n[T] WARN: Error: simulated write error\n" + lost;
    }
    return (kind == "read" ? kReadWarning : "") + lost;
  }
  if (kind == "write") return kWriteWarning;
  const std::string read = kind == "read" ? kReadWarning : "";
  return exchange.rfind("setinten", 0) == 0 ? read + "[T] WARN: timeout\n" : read;
}

std::vector<Cell> Cells() {
  std::vector<Cell> cells;
  for (const Path& path : Paths()) {
    const std::string start = "DIMMER_SIM_INTENSITY=" + std::to_string(path.start_intensity);
    const std::string instant = "DIMMER_SIM_INSTANT_SLEEP=1";

    for (size_t i = 0; i < path.exchanges.size(); ++i) {
      const std::string& exchange = path.exchanges[i];
      const std::string command = exchange.substr(0, 8);
      const bool connecting = command == "getinten";
      // The shortest answer that each exchange must refuse, or, where any
      // byte will do, the shortest there is.
      const std::string short_kind = connecting ? "short2" : "short1";
      for (const std::string kind : {"write", "read", "timeout", short_kind.c_str()}) {
        Cell cell;
        cell.name = std::string(path.name) + "_" + command + "_" + kind;
        cell.path = &path;
        cell.settings = {start, instant, "DIMMER_SIM_FAIL=" + command + ":1:" + kind};
        cell.traffic = {"open"};
        cell.traffic.insert(cell.traffic.end(), path.exchanges.begin(), path.exchanges.begin() + i);
        const std::string tag = kind == "write"     ? " [write error]"
                                : kind == "read"    ? " [read error]"
                                : kind == "timeout" ? " [timeout]"
                                                    : " [short " + kind.substr(5) + "]";
        cell.traffic.push_back(exchange + tag);

        if (kind == "short1") {
          // One byte is answer enough, except that getstate then counts as
          // busy and asks again.
          cell.err = "";
          cell.exit_status = 0;
          cell.traffic.insert(cell.traffic.end(), path.exchanges.begin() + i + 1,
                              path.exchanges.end());
          if (command == "getstate") {
            cell.traffic.push_back("pause 100");
            cell.traffic.push_back("getstate");
          }
        } else {
          cell.err = connecting ? ConnectFailure(path.program, Warnings(exchange, kind))
                                : ChangeFailure(path.program, Warnings(exchange, kind));
          cell.exit_status = 1;
        }
        cell.traffic.push_back("close");
        cells.push_back(cell);
      }
    }

    cells.push_back({std::string(path.name) + "_Absent", &path, {"DIMMER_SIM_ABSENT=1"},
                     ConnectFailure(path.program, "[T] WARN: unable to open device\n"), 1, {}});
    cells.push_back({std::string(path.name) + "_NotOpenable", &path, {"DIMMER_SIM_LOCKED=1"},
                     ConnectFailure(path.program,
                                    "[T] WARN: unable to open device\n"
                                    "[T] WARN: the dimmer is attached but could not be opened: " +
                                        std::string(DeviceOpenHint(true)) + "\n"),
                     1, {}});
    if (path.exchanges.size() > 1) {
      Cell busy{std::string(path.name) + "_StaysBusy", &path,
                {start, instant, "DIMMER_SIM_BUSY=1000000"},
                ChangeFailure(path.program, "[T] WARN: device stayed busy\n"), 1, {"open"}};
      busy.traffic.insert(busy.traffic.end(), path.exchanges.begin(), path.exchanges.end());
      for (int poll = 2; poll <= 300; ++poll) {
        busy.traffic.push_back("pause 100");
        busy.traffic.push_back("getstate");
      }
      busy.traffic.push_back("close");
      cells.push_back(busy);
    }
  }
  return cells;
}

class FaultMatrixTest : public testing::TestWithParam<Cell> {};

TEST_P(FaultMatrixTest, FailsCleanly) {
  const Cell& cell = GetParam();
  StandInDimmer session(cell.settings);
  const char* program = cell.path->program == Program::kQuorlet ? QUORLET_PATH : ORVANE_PATH;
  const ProgramResult result = session.Run(program, cell.path->args);

  ASSERT_FALSE(result.timed_out);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, cell.exit_status);
  EXPECT_EQ(MaskTimestamps(result.err), cell.err);
  EXPECT_EQ(result.out, "");
  const std::vector<std::string> traffic = session.Traffic();
  EXPECT_EQ(traffic, cell.traffic);
  EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "close"),
            std::count(traffic.begin(), traffic.end(), "open"));
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrixTest, testing::ValuesIn(Cells()),
                         [](const testing::TestParamInfo<Cell>& info) { return info.param.name; });

}  // namespace
