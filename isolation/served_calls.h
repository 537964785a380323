// The calls served by a program of their own: whatever the library does to
// its process (a fault, a lock it never gives back, memory it corrupts) dies
// with it, and the next call starts a new one. The protocol is the same on
// every system; starting and ending the program is the system's part.
#pragma once

#include <memory>
#include <string>

#include "isolation/call_protocol.h"
#include "isolation/isolated_work.h"

namespace duvane::isolation {

// The serving program as the system starts and ends it. Destroying it lets
// a running program end by itself, briefly, before ending it.
class ServingProgram {
 public:
  virtual ~ServingProgram() = default;

  virtual bool Running() const = 0;
  // Starts `program` with `argument`; false with the reason in `error`.
  virtual bool Launch(const std::string& program, const std::string& argument,
                      std::string& error) = 0;
  // The connection to the running program.
  virtual ByteStream& Stream() = 0;
  // Ends the running program at once; says how it ended, for the system log.
  virtual std::string End() = 0;
};

// The service's side: each call waits at most the call bound, and a program
// found gone when a call is sent is started again once.
std::unique_ptr<Isolation> CreateServedIsolation(const IsolatedWork& work,
                                                 IsolationSettings settings,
                                                 std::unique_ptr<ServingProgram> program);

// The serving program's side: prepares the work with `argument`, says whether
// it is ready, then serves the calls until the service closes the stream.
// Returns the program's exit status.
int ServeCalls(const IsolatedWork& work, const std::string& argument, ByteStream& stream);

}  // namespace duvane::isolation
