/* The floor that a run of the programs is measured against: the least a C
 * program linked against the same HIDAPI can do for the same request,
 * sharing the dimmer safely: it too takes the dimmer's lock (flock on its
 * node) and reads whatever answers are already waiting before it asks.
 *   dimmer_floor status      read the intensity and print the state
 *   dimmer_floor set N       read the intensity, then set N and wait
 *   dimmer_floor version     print the version line */
#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include "dimmer/dimmer_protocol.h"

static unsigned char answer[DIMMER_REPORT_SIZE];

static int Exchange(hid_device* dev, unsigned char command, int low, int high) {
  unsigned char request[DIMMER_REPORT_SIZE] = {0, command, (unsigned char)low, (unsigned char)high, 0};
  if (hid_write(dev, request, DIMMER_REPORT_SIZE) < 0) return -1;
  return hid_read_timeout(dev, answer, DIMMER_REPORT_SIZE, 5000);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (strcmp(argv[1], "version") == 0) {
    printf("version: %s\n", PROJECT_VERSION_TEXT);
    return 0;
  }
  struct hid_device_info* found = hid_enumerate(DIMMER_VENDOR_ID, DIMMER_PRODUCT_ID);
  if (found == NULL) return 1;
  const int lock = open(found->path, O_RDWR | O_CLOEXEC);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) return 1;
  hid_device* dev = hid_open_path(found->path);
  hid_free_enumeration(found);
  if (dev == NULL) return 1;
  while (hid_read_timeout(dev, answer, DIMMER_REPORT_SIZE, 0) > 0) {
  }
  if (Exchange(dev, DIMMER_GET_INTENSITY, 0, 0) < 3) {
    hid_close(dev);
    return 1;
  }
  const int intensity = answer[1] | answer[2] << 8;
  if (strcmp(argv[1], "set") == 0 && argc > 2) {
    const int value = atoi(argv[2]);
    Exchange(dev, DIMMER_SET_INTENSITY, value & 0xFF, value >> 8);
    Exchange(dev, DIMMER_SET_STATE, DIMMER_APPLY_STATE, 0);
    while (Exchange(dev, DIMMER_GET_STATE, 0, 0) > 0 && answer[1] != 0) {
      const struct timespec pause = {0, 100000000};
      nanosleep(&pause, NULL);
    }
  } else if (intensity > 0) {
    printf("light is on, intensity %d\n", intensity);
  } else {
    printf("light is off\n");
  }
  hid_close(dev);
  close(lock);
  return 0;
}
