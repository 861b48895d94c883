// The dimmer in Linux's own HID stack, so that the programs as built reach
// it through the real HIDAPI and the kernel's hidraw driver: a virtual HID
// device made through /dev/uhid, or, with --gadget, the function side of a
// USB HID gadget (its /dev/hidgN), which the kernel then sees as a USB
// device like the real one. It answers like the simulated dimmer (the same
// model) and appends each request it receives to a traffic log. Runs until
// SIGTERM or SIGINT, then removes the UHID device or closes the gadget's
// node.
//
//   kernel_dimmer [--gadget DEVICE] [--serial TEXT] [--intensity N] [--busy N]
//                 [--log FILE] [--trace FILE] [--ready FILE]
//   kernel_dimmer --report-descriptor
//
// --serial gives a UHID device the serial string that the kernel reports as
// the HID device's "uniq", as usbhid does with a USB device's serial number
// (a gadget has its own, set up with it).
// --ready names a file created once the kernel has started the device (for
// a gadget, once its node is open). --report-descriptor writes the dimmer's
// HID report descriptor to standard output, for a gadget's report_desc.
// --trace appends, for each request, its mark (the request's spare byte,
// which the answer carries back) and what the device did with it:
// "TAG getinten 300", "TAG setinten 300", "TAG setstate 3 applied 300",
// "TAG getstate busy" or "TAG getstate idle".
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dimmer/dimmer_protocol.h"
#include "simulation/dimmer_model.h"

namespace {

// Vendor-defined: unnumbered 4-byte input and output reports.
constexpr unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor defined)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8 bits
    0x95, 0x04,        //   report count 4
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input (data, variable, absolute)
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

volatile sig_atomic_t stopping = 0;

void Stop(int) { stopping = 1; }

bool Send(int fd, const uhid_event& event) {
  return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

void Log(const char* path, const char* line) {
  if (path == nullptr) return;
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line);
  std::fclose(file);
}

// One trace line: the request's mark, the request, and its outcome.
void Trace(const char* path, const unsigned char* request, size_t length, const char* described,
           const unsigned char* answer, int answer_length, const DimmerModel& model) {
  if (path == nullptr || length < 5) return;
  char line[160];
  const int used = std::snprintf(line, sizeof line, "%u %s", request[4], described);
  switch (request[1]) {
    case kGetIntensityCommand:
      std::snprintf(line + used, sizeof line - used, " %u", answer[1] | answer[2] << 8);
      break;
    case kSetStateCommand:
      std::snprintf(line + used, sizeof line - used, " applied %u", model.intensity());
      break;
    case kGetStateCommand:
      std::snprintf(line + used, sizeof line - used, " %s",
                    answer_length >= 2 && answer[1] == 0 ? "idle" : "busy");
      break;
    default:
      break;
  }
  Log(path, line);
}

void MarkReady(const char* path) {
  if (path == nullptr) return;
  std::FILE* ready = std::fopen(path, "w");
  if (ready != nullptr) std::fclose(ready);
}

struct Options {
  long intensity = 0;
  long busy = 0;
  const char* log_path = nullptr;
  const char* trace_path = nullptr;
  const char* ready_path = nullptr;
  const char* gadget_path = nullptr;
  const char* serial = "";
};

// One request, logged and traced, and the answer to it; returns its length.
int Answer(DimmerModel& model, const Options& options, const unsigned char* request,
           size_t length, unsigned char answer[DimmerModel::kAnswerSize]) {
  char line[96];
  DimmerModel::Describe(request, length, line, sizeof line);
  Log(options.log_path, line);
  const int answer_length = model.Answer(request, length, answer);
  Trace(options.trace_path, request, length, line, answer, answer_length, model);
  return answer_length;
}

int ServeThroughUhid(DimmerModel& model, const Options& options) {
  const int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror("kernel_dimmer: /dev/uhid");
    return 1;
  }
  uhid_event create{};
  create.type = UHID_CREATE2;
  std::snprintf(reinterpret_cast<char*>(create.u.create2.name), sizeof create.u.create2.name,
                "Light dimmer (virtual)");
  std::snprintf(reinterpret_cast<char*>(create.u.create2.uniq), sizeof create.u.create2.uniq, "%s",
                options.serial);
  std::memcpy(create.u.create2.rd_data, kReportDescriptor, sizeof kReportDescriptor);
  create.u.create2.rd_size = sizeof kReportDescriptor;
  create.u.create2.bus = BUS_USB;
  create.u.create2.vendor = kDimmerVendorId;
  create.u.create2.product = kDimmerProductId;
  if (!Send(fd, create)) {
    std::perror("kernel_dimmer: UHID_CREATE2");
    return 1;
  }
  while (!stopping) {
    uhid_event event{};
    const ssize_t count = read(fd, &event, sizeof event);
    if (count < 0) {
      if (errno == EINTR) continue;
      std::perror("kernel_dimmer: read");
      break;
    }
    if (event.type == UHID_START) MarkReady(options.ready_path);
    if (event.type != UHID_OUTPUT) continue;
    uhid_event answer{};
    answer.type = UHID_INPUT2;
    unsigned char bytes[DimmerModel::kAnswerSize];
    const int length = Answer(model, options, event.u.output.data, event.u.output.size, bytes);
    std::memcpy(answer.u.input2.data, bytes, length);
    answer.u.input2.size = static_cast<uint16_t>(length);
    if (length > 0 && !Send(fd, answer)) std::perror("kernel_dimmer: UHID_INPUT2");
  }
  uhid_event destroy{};
  destroy.type = UHID_DESTROY;
  Send(fd, destroy);
  close(fd);
  return 0;
}

// The gadget's node carries the reports without their ID (the reports are
// unnumbered); the model takes requests as the programs write them, after
// report ID 0.
int ServeThroughGadget(DimmerModel& model, const Options& options) {
  const int fd = open(options.gadget_path, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror(options.gadget_path);
    return 1;
  }
  MarkReady(options.ready_path);
  while (!stopping) {
    unsigned char request[1 + 64] = {0};
    const ssize_t count = read(fd, request + 1, sizeof request - 1);
    if (count < 0) {
      if (errno == EINTR) continue;
      std::perror("kernel_dimmer: read");
      break;
    }
    unsigned char answer[DimmerModel::kAnswerSize];
    const int length = Answer(model, options, request, 1 + static_cast<size_t>(count), answer);
    if (length > 0 && write(fd, answer, length) != length) std::perror("kernel_dimmer: write");
  }
  // Closed before the gadget is unbound: closing it afterwards can crash
  // some kernels' HID function.
  close(fd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--report-descriptor") == 0) {
    return std::fwrite(kReportDescriptor, sizeof kReportDescriptor, 1, stdout) == 1 ? 0 : 1;
  }
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--intensity") == 0) {
      options.intensity = std::strtol(argv[i + 1], nullptr, 10);
    } else if (std::strcmp(argv[i], "--busy") == 0) {
      options.busy = std::strtol(argv[i + 1], nullptr, 10);
    } else if (std::strcmp(argv[i], "--log") == 0) {
      options.log_path = argv[i + 1];
    } else if (std::strcmp(argv[i], "--trace") == 0) {
      options.trace_path = argv[i + 1];
    } else if (std::strcmp(argv[i], "--ready") == 0) {
      options.ready_path = argv[i + 1];
    } else if (std::strcmp(argv[i], "--gadget") == 0) {
      options.gadget_path = argv[i + 1];
    } else if (std::strcmp(argv[i], "--serial") == 0) {
      options.serial = argv[i + 1];
    } else {
      std::fprintf(stderr, "kernel_dimmer: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  struct sigaction action = {};
  action.sa_handler = Stop;  // no SA_RESTART: a signal ends the wait for a request
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  DimmerModel model;
  model.Reset(static_cast<uint16_t>(options.intensity), static_cast<int>(options.busy), false);
  return options.gadget_path != nullptr ? ServeThroughGadget(model, options)
                                        : ServeThroughUhid(model, options);
}
