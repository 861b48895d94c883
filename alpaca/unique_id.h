// The UniqueID that Alpaca clients know the device by: a random UUID made
// once and kept in a file, so that it stays the same after a restart.
#ifndef ALPACA_UNIQUE_ID_H_
#define ALPACA_UNIQUE_ID_H_

#include <string>

// The folder the server keeps its state in: $STATE_DIRECTORY (a systemd
// service), else $XDG_STATE_HOME/light-dimmer, else
// ~/.local/state/light-dimmer; "" when there is none.
std::string StateFolder();

// The ID kept in `folder`, made and kept there when it is not yet. When it
// cannot be kept, `problem` says why and the ID lasts for this run only.
std::string LoadUniqueId(const std::string& folder, std::string* problem);

#endif  // ALPACA_UNIQUE_ID_H_
