#pragma once
// The per-user settings store, seen as a registry key holding 32-bit integers.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/platform.h"

namespace kelvo {

// Raised by ReadInteger and WriteInteger; the text names the value.
class ERegistryException : public TLibraryError {
 public:
  using TLibraryError::TLibraryError;
};

// An accessor, created for one operation and released (destroyed) at its end;
// releasing closes a key still open.
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens the key at `path` from the root; with `canCreate` the key and its
  // parents are created first. False, without an error, when it does not
  // exist (without `canCreate`) or cannot be opened or created.
  virtual bool OpenKey(const std::string& path, bool canCreate) = 0;
  // True when the open key holds a value of that name, of any type.
  virtual bool ValueExists(const std::string& name) = 0;
  // The value as a 32-bit integer; raises ERegistryException naming the value
  // when it is not a 32-bit integer.
  virtual std::int32_t ReadInteger(const std::string& name) = 0;
  // Stores the value, creating or replacing it; raises ERegistryException
  // naming the value when the store fails.
  virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
  virtual void CloseKey() = 0;
};

using RegistryFactory = std::function<std::unique_ptr<IRegistry>()>;

// The key of the player's settings.
inline constexpr const char* kSettingsKey = "\\Software\\Tessen\\kelvo";

}  // namespace kelvo
