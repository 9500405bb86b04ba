// A simulated Writer on a pseudo-terminal served from a thread of the benchmark, and the host's
// side of it: TComm and the link primitives at 115200 baud with CTS flow control, as kvxw opens
// a real port.
#pragma once

#include <cstdio>
#include <string>

#include "core/device/catalogue.h"
#include "core/link/tcomm.h"
#include "core/link/writer_link.h"
#include "sim/pty_server.h"

namespace kvx::bench {

struct PtyLink {
  Workspace ws;
  SteadyClock clock;
  sim::SimWriter writer;
  sim::PtyServer server{writer};
  TComm comm;
  WriterLink link{ws, comm, clock};

  explicit PtyLink(const char* device) : writer(FindDevice(device)) {
    ws.device.SelectedDevice = device;
    ws.device.DeviceIndex = GetICInfo(ws, device);
  }
  // Serves the Writer at `path` and opens it; `who` names the benchmark in an error.
  bool Open(const std::string& path, const char* who) {
    std::string error;
    if (!server.Start(path, error)) {
      std::fprintf(stderr, "%s: %s\n", who, error.c_str());
      return false;
    }
    comm.SetDeviceName(path);
    comm.SetBaudRate(br115200);
    comm.SetFlowControl(fcCTS);
    comm.Open();
    return comm.Enabled();
  }
};

}  // namespace kvx::bench
