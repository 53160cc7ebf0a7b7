// What the remote control asks of the program: one call per route of the
// HTTP API, each doing exactly what the operator's own control does (the
// same handlers, the same frames, the same busy rule), on the
// user-interface thread. Values are already checked against their ranges by
// the API layer; the host answers with the HTTP status and a JSON body.
//
// Statuses: 200 done; 409 refused while a batch goes out (body: the busy
// message), nothing changed; 503 no link to the processor: the change is
// applied on screen and counted as not sent (body says so); 400 for what
// only the program can judge (a window sized in a mode without stretching).
// Bodies are JSON objects: {"ok": true, ...} or {"error": "..."}.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace panora::remote {

struct ApiResult {
  int status = 200;
  std::string body = "{\"ok\":true}";
};

// One output's resolution code 1..6 (the index in the resolution list + 1).
struct ResolutionRequest {
  std::optional<int> all;                      // every output the same
  std::array<std::optional<int>, 4> outputs{};  // per output ("Full mode")
};

// Layers 1..4 of CH1..CH4, a permutation; on one output 1..4 or all.
struct LayersRequest {
  std::optional<int> output;  // empty: all outputs
  std::array<int, 4> layers{};
};

// Channels shown: on every output, or per output; each a set of CH1..CH4.
struct DisplayRequest {
  std::optional<std::array<bool, 4>> all;
  std::array<std::optional<std::array<bool, 4>>, 4> outputs{};
};

class ApiHost {
 public:
  virtual ~ApiHost() = default;
  // GET /api/v1/state: the whole state as one JSON object (see docs/remote.md).
  virtual std::string StateJson() = 0;
  // POST /api/v1/mode: mode 0..33, as its quick or tool button recalls it.
  virtual ApiResult RecallMode(int mode) = 0;
  // POST /api/v1/windows/{channel}: channel 1..4, output pixels.
  virtual ApiResult SetWindow(int channel, int x, int y, int w, int h) = 0;
  // POST /api/v1/inputs: input 1..4 per channel CH1..CH4; empty keeps it.
  virtual ApiResult SetInputs(const std::array<std::optional<int>, 4>& inputs) = 0;
  virtual ApiResult SetLayers(const LayersRequest& request) = 0;
  virtual ApiResult SetDisplay(const DisplayRequest& request) = 0;
  virtual ApiResult SetResolution(const ResolutionRequest& request) = 0;
  // POST /api/v1/setup/send: Send Set-up, with the user modes when asked.
  virtual ApiResult SendSetup(bool withUserModes) = 0;
};

}  // namespace panora::remote
