// The UniqueID that Alpaca clients know the device by: a random UUID made
// once and kept in a file, so that it stays the same after a restart.
#ifndef ALPACA_UNIQUE_ID_H_
#define ALPACA_UNIQUE_ID_H_

#include <string>

// The ID kept in `folder`, made and kept there when it is not yet. When it
// cannot be kept, `problem` says why and the ID lasts for this run only.
std::string LoadUniqueId(const std::string& folder, std::string* problem);

#endif  // ALPACA_UNIQUE_ID_H_
