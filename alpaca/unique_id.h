// The UniqueID that Alpaca clients know the device by: a random UUID made
// once and kept in a file, so that it stays the same after a restart.
#ifndef ALPACA_UNIQUE_ID_H_
#define ALPACA_UNIQUE_ID_H_

#include <cstdio>
#include <string>

// A version 4 (random) UUID, in its usual lower-case form.
std::string RandomUuid();
bool LooksLikeUuid(const std::string& text);

// A file in the state folder, opened with stdio's `mode`; the path as the
// platform names files (wide on Windows, where a user's folder may hold any
// character).
std::FILE* OpenStateFile(const std::string& path, const char* mode);

// The ID kept in `folder`, made and kept there when it is not yet. When it
// cannot be kept, `problem` says why and the ID lasts for this run only.
std::string LoadUniqueId(const std::string& folder, std::string* problem);

#endif  // ALPACA_UNIQUE_ID_H_
