#include "dimmer/hid_link.h"

namespace {

const HidLink kSystemHid = {hid_enumerate, hid_free_enumeration, hid_open_path, hid_write,
                            hid_read_timeout, hid_close, hid_error, true};

}  // namespace

const HidLink& SystemHid() { return kSystemHid; }
