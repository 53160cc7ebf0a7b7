// `panora-ctl LINK push FILE`: the set-up a profile keeps, written to a
// processor with the frames the program's "Send Set-up" builds, each
// waiting for its answer as the program's worker waits.
#pragma once

#include <string>
#include <vector>

#include "ctl/link_io.h"
#include "model/SetupFrames.h"

namespace panora::ctl {

// The frames for the profile at `path` shown in `mode`: its working record
// and the windows kept there, the stored user modes first when asked for.
// False with the reason when the file does not read, or keeps no window
// places (sending those would shrink every window to nothing).
bool PushFrames(const std::string& path, int mode, bool withUserModes, std::vector<FrameBytes>& frames,
                std::string& why);

enum class PushResult { AllAnswered, SomeUnanswered, LinkFailed };

// Sends the frames one by one, each waiting up to timeoutMs for its answer;
// a line per frame on stderr ("push: 3/13 channel inputs: answered"), then
// "push: A of N frames answered". Stops at the first frame the link fails.
PushResult Push(Link& link, const std::vector<FrameBytes>& frames, int timeoutMs);

}  // namespace panora::ctl
