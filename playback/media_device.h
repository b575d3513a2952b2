#pragma once
// The media device: one file at a time, opened, played, stopped and closed on
// command, with a completion notice for every play that asked for one.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/platform.h"

namespace kelvo {

// Raised by Open (and by Stop with no file open); Error() holds the code.
class EMCIDeviceError : public TLibraryError {
 public:
  using TLibraryError::TLibraryError;
};

class IMediaDevice {
 public:
  virtual ~IMediaDevice() = default;

  // One-shot settings for the next command only, then forgotten. Notify: the
  // command asks for a completion notice. Wait: it returns only when done.
  virtual void SetNotify(bool notify) = 0;
  virtual void SetWait(bool wait) = 0;
  // The file that the next Open opens.
  virtual void SetFileName(const std::string& path) = 0;
  // Closes a file already open (its pending notice, if any, is delivered as
  // superseded), then opens FileName. On failure Error() is non-zero and
  // EMCIDeviceError is raised; on success Error() is 0.
  virtual void Open() = 0;
  // Lengths in milliseconds from now on; keeps the pending Notify and Wait.
  virtual void SetTimeFormatMilliseconds() = 0;
  // Starts the open file from its start. Error() holds the result; with
  // Notify on, exactly one completion notice follows for this play.
  virtual void Play() = 0;
  // Stops the open file; a play that asked for a notice gets it now (its
  // delivery is queued). Raises EMCIDeviceError when no file is open.
  virtual void Stop() = 0;
  // Closes the open file; nothing when none is open.
  virtual void Close() = 0;
  // Length of the open file in milliseconds.
  virtual std::int64_t Length() = 0;
  // Where the play that runs is, in milliseconds from the file's start;
  // nothing while no play runs or where the device cannot tell.
  virtual std::optional<std::int64_t> Position() { return std::nullopt; }
  // Whether the open file can be played from another place.
  virtual bool CanSeek() { return false; }
  // Moves the play that runs to `milliseconds` from the start; false when it
  // cannot (no play, a stream that cannot seek, a place past the end).
  virtual bool Seek(std::int64_t /*milliseconds*/) { return false; }
  // Result code of the last command; 0 means success.
  virtual int Error() const = 0;
  // Receives the completion notices, on the user-interface thread, through
  // the event loop, whatever their kind. A notice whose delivery comes after
  // a newer play has started is stale and is not delivered: it would be
  // taken for the notice of the play that runs now.
  virtual void SetOnNotify(std::function<void()> handler) = 0;
};

}  // namespace kelvo
