// The driver as built, under the real indiserver, driven and read by INDI's
// own client tools, with the simulated dimmer in front of HIDAPI (the
// server's children inherit its environment). The dimmer is one device
// shared by every process, so quorlet runs meet the driver on it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testing/background_program.h"
#include "testing/program_run.h"
#include "testing/stand_in_dimmer.h"

namespace {

constexpr char kDevice[] = "USB Light Dimmer";
using Clock = std::chrono::steady_clock;

// A port that indiserver can bind now. Below the range the system hands
// out to connections, so that no connection of an INDI tool's, lingering
// in TIME_WAIT, holds it (indiserver binds without SO_REUSEADDR).
int FreePort() {
  static std::minstd_rand random(static_cast<unsigned>(getpid()));
  for (;;) {
    const int port = 20000 + static_cast<int>(random() % 12000);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (free) return port;
  }
}

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// How often the driver's log has that contain `text`.
int CountLines(const std::string& log, const std::string& text) {
  int count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

class DriverTest : public testing::Test {
 protected:
  // indiserver with the driver, on a dimmer with these settings. With
  // `names`, the driver runs once under each name, started through the
  // server's FIFO as KStars starts a driver that a profile holds twice.
  void StartServer(std::vector<std::string> settings, std::vector<std::string> names = {}) {
    settings.push_back("DIMMER_SIM_STATE_FILE=" + state_.Path("state"));
    settings.push_back("DIMMER_SIM_UNPLUG_FILE=" + state_.Path("unplugged"));
    session_.reset(new StandInDimmer(settings));
    std::vector<std::string> environment = session_->Environment();
    environment.push_back("HOME=" + state_.Path(""));  // the driver's ~/.indi, kept over restarts
    const std::string fifo = session_->Path("fifo");
    std::vector<std::string> drivers = {DRIVER_PATH};
    if (!names.empty()) {
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
      drivers = {"-f", fifo};
    } else {
      names = {kDevice};
    }
    // A port free when probed may be taken by the time indiserver binds it
    // (by a test running beside): then another is tried.
    for (int attempt = 0;; ++attempt) {
      port_ = FreePort();
      // -r 0: a driver that dies stays dead; -u: a socket of this test's own.
      std::vector<std::string> command = {INDISERVER_PATH, "-r", "0", "-p", std::to_string(port_),
                                          "-u", session_->Path("socket"), "-l", session_->Path("")};
      command.insert(command.end(), drivers.begin(), drivers.end());
      ASSERT_TRUE(server_.Start(command, environment, session_->Path("server.log")));
      if (drivers[0] == "-f") StartByName(fifo, names);
      bool started = true;
      for (const std::string& name : names) {
        device_ = name;
        started = started && WaitFor("CONNECTION.CONNECT", "Off", 5000);
      }
      device_ = names[0];
      if (started) break;
      const bool taken = ServerLog().find("Address already in use") != std::string::npos;
      ASSERT_TRUE(taken && attempt < 4) << ServerLog();
      server_.Stop();
    }
  }

  // "start DRIVER -n NAME" for each name, once the server reads its FIFO.
  void StartByName(const std::string& fifo, const std::vector<std::string>& names) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int fd;
    while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && Clock::now() < deadline) Pause(20);
    if (fd < 0) return;  // the server is gone; the caller finds out why
    std::string commands;
    for (const std::string& name : names) commands += "start " DRIVER_PATH " -n \"" + name + "\"\n";
    EXPECT_EQ(write(fd, commands.data(), commands.size()), static_cast<ssize_t>(commands.size()));
    close(fd);
  }

  void TearDown() override { server_.Stop(); }

  // One element's value, or "" when the server has none (yet).
  std::string Get(const std::string& element) {
    const ProgramResult result = RunProgram(
        {INDI_GETPROP_PATH, "-1", "-t", "1", "-p", std::to_string(port_),
         device_ + "." + element},
        {});
    std::string value = result.out;
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  }

  // `type` "-s" or "-n" sends without asking the server first whether the
  // property is there, as a client that holds on to it may.
  void Set(const std::string& assignment, const char* type = nullptr) {
    std::vector<std::string> command = {INDI_SETPROP_PATH, "-p", std::to_string(port_)};
    if (type != nullptr) command.push_back(type);
    command.push_back(device_ + "." + assignment);
    const ProgramResult result = RunProgram(command, {});
    ASSERT_EQ(result.exit_status, 0) << result.err;
  }

  // Samples the element until it has `value`, for up to `timeout_ms`.
  bool WaitFor(const std::string& element, const std::string& value, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
      if (Get(element) == value) return true;
      Pause(50);
    } while (Clock::now() < deadline);
    return false;
  }

  // Waits until the property is in `state` (0 Idle, 1 Ok, 2 Busy, 3 Alert)
  // and, where one is given, the switch `element` is On.
  bool WaitForState(const std::string& property, int state, const std::string& element = "") {
    const std::string prefix = "\"" + device_ + "." + property + ".";
    std::string expression = prefix + "_STATE\"==" + std::to_string(state);
    if (!element.empty()) expression += " && " + prefix + element + "\"==1";
    const ProgramResult result = RunProgram(
        {INDI_EVAL_PATH, "-p", std::to_string(port_), "-t", "3", "-w", expression}, {});
    return result.exit_status == 0;
  }

  void Connect() {
    Set("CONNECTION.CONNECT=On");
    ASSERT_TRUE(WaitForState("CONNECTION", 1)) << ServerLog();
  }

  std::string Intensity() { return Get("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE"); }
  std::string LightOn() { return Get("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON"); }

  // The device's requests, without the driver's polls of the intensity.
  std::string Changes() {
    std::string joined;
    for (const std::string& line : session_->Traffic()) {
      if (line != "getinten") joined += (joined.empty() ? "" : "; ") + line;
    }
    return joined;
  }

  // The driver's messages, as indiserver logged them.
  std::string DriverLog() {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(session_->Path(""))) {
      if (entry.path().extension() != ".islog") continue;
      std::ifstream file(entry.path());
      text += std::string(std::istreambuf_iterator<char>(file), {});
    }
    return text;
  }

  std::string ServerLog() {
    std::ifstream file(session_->Path("server.log"));
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  ProgramResult Quorlet(std::vector<std::string> args) {
    return session_->Run(QUORLET_PATH, std::move(args));
  }

  StandInDimmer state_;
  std::unique_ptr<StandInDimmer> session_;
  BackgroundProgram server_;
  int port_ = 0;
  std::string device_ = kDevice;  // the device the helpers address
};

struct ConnectCase {
  const char* intensity;
  const char* on;
  const char* shown;
};

class DriverConnectTest : public DriverTest, public testing::WithParamInterface<ConnectCase> {};

TEST_P(DriverConnectTest, ShowsTheDimmerAsItIs) {
  StartServer({std::string("DIMMER_SIM_INTENSITY=") + GetParam().intensity});
  Connect();
  EXPECT_EQ(LightOn(), GetParam().on);
  EXPECT_EQ(Intensity(), GetParam().shown);
  EXPECT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1));
  EXPECT_EQ(Get("DRIVER_INFO.DRIVER_INTERFACE"), "33792");  // aux and light box
}

INSTANTIATE_TEST_SUITE_P(Intensities, DriverConnectTest,
                         testing::Values(ConnectCase{"0", "Off", "900"},
                                         ConnectCase{"640", "On", "640"}));

TEST_F(DriverTest, SwitchesAndDimsAsTheDimmerDoes) {
  StartServer({});
  Connect();
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=300.6");  // rounded, kept for "on"
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "301", 2000));
  EXPECT_EQ(Changes(), "open");
  Set("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On");
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1, "FLAT_LIGHT_ON"));
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=500");
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "500", 2000));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  Set("FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On");
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1, "FLAT_LIGHT_OFF"));
  EXPECT_EQ(Intensity(), "500");  // kept for the next "on"
  EXPECT_EQ(Changes(),
            "open; setinten 301; setstate 3; getstate; setinten 500; setstate 3; getstate; "
            "setinten 0; setstate 3; getstate");
  EXPECT_EQ(Quorlet({}).out, "light is off\n");
  const std::string log = DriverLog();
  size_t at = 0;
  for (const char* line : {"The light is off; it will come on at 900.",
                           "Level 301 kept for when the light comes on", "Light on at 301",
                           "Light on at 500", "Light off; it will come on at 500"}) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in\n" << log;
  }
}

TEST_F(DriverTest, ChangeIsBusyUntilTheDimmerIsIdleAndTheDriverStillAnswers) {
  StartServer({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_BUSY=6"});
  Connect();
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=200");
  EXPECT_EQ(Get("FLAT_LIGHT_INTENSITY._STATE"), "Busy");
  const auto asked = Clock::now();
  EXPECT_EQ(Get("POLLING_PERIOD.PERIOD_MS"), "1000");
  EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(200));
  EXPECT_EQ(Get("FLAT_LIGHT_INTENSITY._STATE"), "Busy");
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  EXPECT_EQ(Intensity(), "200");
  EXPECT_EQ(Changes(),
            "open; setinten 200; setstate 3; getstate; getstate; getstate; getstate; getstate; "
            "getstate; getstate");
}

TEST_F(DriverTest, FailedChangeIsAlertAndShowsWhatTheDimmerHolds) {
  StartServer({"DIMMER_SIM_INTENSITY=500", "DIMMER_SIM_FAIL=setinten:1:timeout"});
  Connect();
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=300");
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 3));
  EXPECT_EQ(Intensity(), "500");
  const std::string log = DriverLog();
  EXPECT_EQ(CountLines(log, "The dimmer did not take intensity 300; it keeps 500."), 1) << log;
  // The dimmer code's own warning, without a second level word.
  EXPECT_EQ(CountLines(log, "WARNING] timeout"), 1) << log;
  EXPECT_EQ(CountLines(log, "WARN: "), 0) << log;
  EXPECT_EQ(Quorlet({}).out, "light is on, intensity 500\n");
}

TEST_F(DriverTest, RefusesWhatItCannotDoWithoutTouchingTheDimmer) {
  StartServer({"DIMMER_SIM_INTENSITY=500"});
  Connect();
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=1024");
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 3));
  EXPECT_EQ(Intensity(), "500");
  Set("CONNECTION.DISCONNECT=On");
  ASSERT_TRUE(WaitForState("CONNECTION", 0));
  Set("FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On", "-s");
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=100", "-n");
  Pause(300);
  EXPECT_EQ(Changes(), "open; close");
  EXPECT_NE(DriverLog().find("The dimmer is not connected."), std::string::npos) << DriverLog();
}

TEST_F(DriverTest, ShowsWhatAnotherProgramDidWithinAPeriod) {
  StartServer({});
  Connect();
  ASSERT_EQ(Quorlet({"640"}).exit_status, 0);
  const auto changed = Clock::now();
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "640", 2000));
  EXPECT_EQ(LightOn(), "On");
  EXPECT_LT(Clock::now() - changed, std::chrono::milliseconds(1000 + 300));
}

TEST_F(DriverTest, TakesTurnsWithOtherProgramsAndReadsOnlyItsOwnAnswers) {
  StartServer({"DIMMER_SIM_BUSY=1"});
  Connect();
  Set("POLLING_PERIOD.PERIOD_MS=50");
  for (int run = 0; run < 6; ++run) {
    Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=" + std::to_string(700 + run));
    Set(run % 2 == 0 ? "FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On" : "FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On");
    EXPECT_EQ(Quorlet({std::to_string(100 + run)}).exit_status, 0);
    EXPECT_EQ(Quorlet({}).exit_status, 0);
  }
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1));
  // No answer taken for another's, and no request of the driver's within
  // a quorlet run: one getinten, then at most one change.
  int runs = 0;
  bool in_run = false;
  int getinten = 0, setinten = 0;
  for (const std::string& line : session_->Traffic()) {
    ASSERT_NE(line, "foreign answer");
    if (line == "open") {
      in_run = ++runs > 1;  // the first open is the driver's own
      getinten = setinten = 0;
    } else if (line == "close") {
      in_run = false;
    } else if (in_run) {
      getinten += line == "getinten";
      setinten += line.rfind("setinten", 0) == 0;
      ASSERT_LE(getinten, 1) << "the driver asked in the middle of a quorlet run";
      ASSERT_LE(setinten, 1) << "the driver changed the light in the middle of a quorlet run";
    }
  }
  EXPECT_EQ(runs, 1 + 12);
}

TEST_F(DriverTest, KeepsTheLastKnownStateWhileUnpluggedAndSaysSoOnce) {
  StartServer({"DIMMER_SIM_INTENSITY=500"});
  Connect();
  Set("POLLING_PERIOD.PERIOD_MS=100");
  std::fclose(std::fopen(state_.Path("unplugged").c_str(), "w"));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 3));
  EXPECT_EQ(Get("FLAT_LIGHT_INTENSITY._STATE"), "Alert");
  EXPECT_EQ(LightOn(), "On");
  EXPECT_EQ(Intensity(), "500");
  Pause(700);  // several periods of looking for it
  // Changed elsewhere while the driver cannot see it: the simulated
  // device's shared state is rewritten (the handle count kept) before the
  // dimmer comes back, so the driver cannot find it again first.
  {
    std::ifstream in(state_.Path("state"));
    long intensity, pending, busy_left, opened;
    ASSERT_TRUE(in >> intensity >> pending >> busy_left >> opened);
    std::ofstream(state_.Path("state")) << "250 250 0 " << opened << "\n";
  }
  std::filesystem::remove(state_.Path("unplugged"));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1));
  EXPECT_EQ(Intensity(), "250");
  EXPECT_EQ(Get("CONNECTION.CONNECT"), "On");
  const std::string log = DriverLog();
  EXPECT_EQ(CountLines(log, "The dimmer stopped answering (unplugged?); looking for it every "
                            "100 ms."),
            1)
      << log;
  EXPECT_EQ(CountLines(log, "The dimmer answers again: the light is on at 250."), 1) << log;
  EXPECT_EQ(CountLines(log, "unable to open device"), 0) << log;
}

TEST_F(DriverTest, KeepsTheIntensityInItsConfiguration) {
  StartServer({"DIMMER_SIM_INTENSITY=500"});
  Connect();
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=420");
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "420", 2000));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  Set("CONFIG_PROCESS.CONFIG_SAVE=On");
  ASSERT_TRUE(WaitForState("CONFIG_PROCESS", 1));
  Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=100");
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "100", 2000));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  Set("CONFIG_PROCESS.CONFIG_LOAD=On");
  ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", "420", 2000));
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  EXPECT_EQ(Quorlet({}).out, "light is on, intensity 420\n");
}

TEST_F(DriverTest, SimulationNeedsNoDimmer) {
  StartServer({"DIMMER_SIM_ABSENT=1"});
  Set("SIMULATION.ENABLE=On");
  Connect();
  EXPECT_EQ(Intensity(), "900");
  Set("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On");
  EXPECT_EQ(Get("FLAT_LIGHT_CONTROL._STATE"), "Busy");  // the simulated dimmer takes its time
  ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1));
  EXPECT_EQ(LightOn(), "On");
  EXPECT_EQ(session_->TrafficText(), "");
}

// Two instances under one server, each on the unit chosen in its Options
// tab, keep to it (and, saved, choose it again after a restart); two on one
// unit take turns. Either way no program reads another's answer.
TEST_F(DriverTest, TwoInstancesDriveTwoUnitsOrShareOne) {
  StartServer({"DIMMER_SIM_SERIALS=B2,A1"}, {"Dimmer A", "Dimmer B"});
  const struct {
    const char* device;
    const char* unit;
    const char* level;
  } instances[] = {{"Dimmer A", "A1", "300"}, {"Dimmer B", "B2", "700"}};
  for (const auto& instance : instances) {
    device_ = instance.device;
    Set(std::string("DIMMER_UNIT.") + instance.unit + "=On");
    Connect();
    Set(std::string("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=") + instance.level);
    Set("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On");
  }
  for (const auto& instance : instances) {
    device_ = instance.device;
    ASSERT_TRUE(WaitForState("FLAT_LIGHT_CONTROL", 1, "FLAT_LIGHT_ON"));
    EXPECT_EQ(Quorlet({"--dimmer", instance.unit}).out,
              std::string("light is on, intensity ") + instance.level + "\n");
    EXPECT_EQ(CountLines(DriverLog(), std::string("Connected to the dimmer ") + instance.unit + "."), 1);
  }
  Set("CONFIG_PROCESS.CONFIG_SAVE=On");
  ASSERT_TRUE(WaitForState("CONFIG_PROCESS", 1));
  std::string traffic = session_->TrafficText();
  EXPECT_EQ(CountLines(traffic, "2: setinten 300"), 1) << traffic;  // A1 is the second unit
  EXPECT_EQ(CountLines(traffic, "1: setinten 700"), 1) << traffic;
  EXPECT_EQ(CountLines(traffic, "setinten"), 2) << traffic;

  // Restarted: Dimmer B finds its unit in its configuration, Dimmer A
  // (never saved) takes the first; both then on A1.
  server_.Stop();
  StartServer({"DIMMER_SIM_SERIALS=B2,A1"}, {"Dimmer A", "Dimmer B"});
  device_ = "Dimmer B";
  EXPECT_EQ(Get("DIMMER_UNIT.B2"), "On");
  Set("DIMMER_UNIT.FIRST=On");
  for (const char* device : {"Dimmer A", "Dimmer B"}) {
    device_ = device;
    Connect();
  }
  for (const char* device : {"Dimmer A", "Dimmer B"}) {
    device_ = device;
    const std::string level = device_ == "Dimmer A" ? "450" : "700";
    Set("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=" + level);
    ASSERT_TRUE(WaitFor("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE", level, 2000));
    ASSERT_TRUE(WaitForState("FLAT_LIGHT_INTENSITY", 1));
  }
  EXPECT_EQ(Quorlet({"--dimmer", "A1"}).out, "light is on, intensity 700\n");
  traffic = session_->TrafficText();
  EXPECT_EQ(CountLines(traffic, "2: setinten"), 2) << traffic;
  EXPECT_EQ(CountLines(traffic, "1: setinten"), 0) << traffic;
  EXPECT_EQ(CountLines(traffic, "foreign answer"), 0) << traffic;
}

// INDI's driver library has hid_* functions of its own: the driver must
// reach the dimmer through the system's HIDAPI.
TEST(DriverLinkTest, CallsTheSystemsHidapi) {
  ProgramOptions options;
  options.environment = {"LD_DEBUG=bindings"};
  const ProgramResult result = RunProgram({DRIVER_PATH}, options);
  for (const char* function : {"hid_enumerate", "hid_open_path", "hid_write", "hid_read_timeout",
                               "hid_close", "hid_error", "hid_free_enumeration"}) {
    const std::string binding =
        "libhidapi-hidraw.so.0 [0]: normal symbol `" + std::string(function) + "'";
    bool found = false;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
      found |= line.find("indi_light_dimmer [0] to ") != std::string::npos &&
               line.find(binding) != std::string::npos;
    }
    EXPECT_TRUE(found) << function;
  }
}

}  // namespace
