// What a platform needs set up on the thread that loads the data, and torn down at unload:
// COM for the XML reader on Windows, nothing elsewhere.
#pragma once

namespace tessary {

// Prepares the calling thread for loading; false when the platform refuses.
[[nodiscard]] bool EnterPlatformSession() noexcept;

// Undoes EnterPlatformSession; runs once when the database is destroyed.
void LeavePlatformSession() noexcept;

}  // namespace tessary
