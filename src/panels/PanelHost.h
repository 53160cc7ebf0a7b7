// What a docked panel asks of the window that owns it, instead of reaching
// into the main frame: the working record, the send path with its busy rule,
// the reply-wait worker, the information list and message boxes. The main
// frame implements it; tests may too.
#pragma once

#include <cstdint>
#include <string>

#include "model/DataPrm.h"

namespace panora {

class PanelHost {
 public:
  virtual ~PanelHost() = default;

  // The working record (element 13), which "Set" buttons write.
  virtual CDataPrm& WorkingRecord() = 0;
  virtual int CurrentMode() const = 0;
  // m_nCurpod, the current channel window 0..3.
  virtual int CurrentWindow() const = 0;

  // The standard sender: builds the frame in a buffer of its own, notes the
  // command and sends it over the open transport (nothing without one).
  // With respectBusy it refuses while a worker batch goes out, showing
  // "please wait second, sending data have not finished", and returns false.
  virtual bool SendCommand(std::uint8_t command, std::uint8_t subCode, const std::uint8_t* payload, int n,
                           bool respectBusy) = 0;
  // A batch for the reply-wait worker: `count` frames of `frameSize` bytes
  // back to back, sent as job `job`; false (and nothing sent) while another
  // batch goes out.
  virtual bool StartBatch(int job, const std::uint8_t* frames, int frameSize, int count) = 0;
  virtual bool Sending() const = 0;
  virtual bool TransportOpen() const = 0;

  virtual void AddInfoLine(const std::string& text) = 0;
  // A message box through the dialog facade; returns the button pressed.
  virtual int Message(const std::string& text, int type = 0) = 0;

  // A "Set" went out: the owner notes it as a step the operator can undo.
  // `setId` is the button's id; `target` the picture channel for contrast
  // and brightness, else 0.
  virtual void RecordStep(int /*setId*/, int /*target*/) {}
  // The panel now shows what the processor answered: the next step of that
  // Set starts from there (this is no step itself).
  virtual void NoteShown(int /*setId*/, int /*target*/) {}
};

}  // namespace panora
