// A program stand-in for the remote control's tests: writes down each call
// as one line ("mode 8", "window 2 0 0 960 540") and answers with `reply`.
#pragma once

#include <string>
#include <vector>

#include "remote/ApiHost.h"

namespace panora::test {

class RecordingHost : public remote::ApiHost {
 public:
  std::vector<std::string> calls;
  remote::ApiResult reply;

  std::string StateJson() override {
    calls.push_back("state");
    return R"({"mode":17})";
  }
  remote::ApiResult RecallMode(int mode) override { return Note("mode " + std::to_string(mode)); }
  remote::ApiResult SetWindow(int channel, int x, int y, int w, int h) override {
    return Note("window " + std::to_string(channel) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                std::to_string(w) + " " + std::to_string(h));
  }
  remote::ApiResult SetInputs(const std::array<std::optional<int>, 4>& inputs) override {
    return Note("inputs" + List(inputs));
  }
  remote::ApiResult SetLayers(const remote::LayersRequest& r) override {
    std::string s = "layers " + (r.output ? std::to_string(*r.output) : std::string("all"));
    for (int l : r.layers) s += " " + std::to_string(l);
    return Note(s);
  }
  remote::ApiResult SetDisplay(const remote::DisplayRequest& r) override {
    std::string s = "display";
    if (r.all) s += " all " + Set(*r.all);
    for (std::size_t o = 0; o < 4; ++o)
      if (r.outputs[o]) s += " out" + std::to_string(o + 1) + " " + Set(*r.outputs[o]);
    return Note(s);
  }
  remote::ApiResult SetResolution(const remote::ResolutionRequest& r) override {
    std::string s = "resolution";
    if (r.all) s += " all " + std::to_string(*r.all);
    return Note(s + List(r.outputs));
  }
  remote::ApiResult SendSetup(bool withUserModes) override {
    return Note(withUserModes ? "setup user" : "setup");
  }

 private:
  remote::ApiResult Note(std::string call) {
    calls.push_back(std::move(call));
    return reply;
  }
  static std::string List(const std::array<std::optional<int>, 4>& v) {
    std::string s;
    for (const auto& i : v) s += i ? " " + std::to_string(*i) : std::string(" -");
    return s;
  }
  static std::string Set(const std::array<bool, 4>& v) {
    std::string s;
    for (std::size_t i = 0; i < 4; ++i)
      if (v[i]) s += std::to_string(i + 1);
    return s.empty() ? "none" : s;
  }
};

}  // namespace panora::test
