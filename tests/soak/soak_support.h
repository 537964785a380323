// Soak tests: the real SDuvane program (tests/support/service_program.h)
// watched from outside (descriptors, CPU time) and driven over loopback.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/service_program.h"

namespace soak {

using namespace std::chrono_literals;
using testsupport::Ask;
using testsupport::Request;
using testsupport::ResultCode;

inline constexpr uint16_t kPort = testsupport::kServicePort;

// Starts the program and waits until it is ready; nullptr (with a test
// failure) when it is not. By default no reader service is reachable.
std::unique_ptr<testsupport::ServiceProgram> StartService(
    testsupport::ProgramOptions options = testsupport::ProgramOptions::WithoutReaderService());

// Open descriptors of a process whose numbers are below `below` (the
// numbers a descriptor limit of that value leaves usable).
int OpenDescriptors(pid_t pid, int below = 1 << 30);

// Connections a process holds: its network sockets but the listening one.
int AcceptedConnections(pid_t pid);

// Opens `count` more connections to the service `pid`, a few at a time, each
// batch taken by the service before the next: the listen backlog of 5 drops
// connection attempts beyond it, and clients retry those only after a second.
// A `receiveBuffer` other than 0 makes clients that take little at a time.
bool OpenAccepted(pid_t pid, int count, std::vector<std::unique_ptr<testsupport::Client>>& into,
                  int receiveBuffer = 0);

// Gives every socket of the process `pid` the least send buffer the kernel
// allows (about 4 KiB for `bytes` 1): a slow network, where the service has
// to keep most of a reply itself.
bool ShrinkSendBuffers(pid_t pid, int bytes);

// Resident memory of a process now and at its peak, in KiB.
long ResidentKib(pid_t pid);
long PeakResidentKib(pid_t pid);

// CPU time (user and system, all threads) a process has used so far.
std::chrono::milliseconds CpuTime(pid_t pid);

// Sets the soft descriptor limit of a running process (the hard one stays).
bool SetDescriptorLimit(pid_t pid, rlim_t soft);

// Raises this process's soft descriptor limit to at least `wanted`.
bool RaiseOwnDescriptorLimit(rlim_t wanted);

// Milliseconds since `start`, as a figure.
long long MsSince(std::chrono::steady_clock::time_point start);

// Prints one line of figures, "SOAK <name>: key=value ...", for the bench.
void Report(const std::string& name, const std::map<std::string, std::string>& figures);

using SoakTest = testsupport::PrivateHostTest;

}  // namespace soak
