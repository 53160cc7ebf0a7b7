#include "ctl/push_cmd.h"

#include <algorithm>
#include <cstdio>

#include "ctl/profile_cmd.h"
#include "model/Profile.h"

namespace panora::ctl {

bool PushFrames(const std::string& path, int mode, bool withUserModes, std::vector<FrameBytes>& frames,
                std::string& why) {
  CProfile p;
  ProfileError e;
  std::vector<std::string> notes;
  if (!ReadProfile(path, p, &e, &notes)) {
    why = DescribeProfileError(path, e);
    return false;
  }
  for (const auto& n : notes) std::fprintf(stderr, "panora-ctl: note: %s\n", n.c_str());
  const CDataPrm& record = p.m_DataPrm[kWorkingSlot];
  const WindowPlaces windows = PlacesOf(record);
  // The program keeps its windows' places whenever it writes a profile; a
  // file without them (an older program's, `profile default`) holds 0 x 0.
  if (std::all_of(windows.begin(), windows.end(),
                  [](const ChannelFractions& f) { return f.w <= 0 || f.h <= 0; })) {
    why = path +
          ": its working record keeps no window places (every window is 0 x 0); open it in Panora "
          "and save it again";
    return false;
  }
  frames = withUserModes ? SetupWithUserModes(p.m_DataPrm, mode, record, windows)
                         : SetupFrames(mode, record, windows);
  return true;
}

PushResult Push(Link& link, const std::vector<FrameBytes>& frames, int timeoutMs) {
  const std::size_t total = frames.size();
  std::size_t answered = 0;
  auto summary = [&](std::size_t notSent) {
    std::fprintf(stderr, "push: %zu of %zu frames answered", answered, total);
    if (notSent > 0) std::fprintf(stderr, "; the link failed, %zu not sent", notSent);
    std::fputc('\n', stderr);
  };
  for (std::size_t k = 0; k < total; ++k) {
    const FrameBytes& f = frames[k];
    const std::string head =
        "push: " + std::to_string(k + 1) + "/" + std::to_string(total) + " " + DescribeSetupFrame(f) + ": ";
    std::string error;
    if (!link.Send(f.data(), f.size(), error)) {
      std::fprintf(stderr, "%s%s\n", head.c_str(), error.c_str());
      summary(total - k);
      return PushResult::LinkFailed;
    }
    std::vector<std::uint8_t> answer;
    std::vector<std::string> faults;
    std::string skipped;
    const Link::Wait wait = link.WaitAnswer(timeoutMs, f[4], answer, faults, skipped, error);
    if (wait == Link::Wait::Frame) {
      ++answered;
      std::fprintf(stderr, "%sanswered\n", head.c_str());
      for (const auto& fault : faults)
        std::fprintf(stderr, "panora-ctl: warning: %s\n", TakenAnswerText(fault).c_str());
      continue;
    }
    std::fprintf(stderr, "%s%s\n", head.c_str(), NoAnswerText(wait, timeoutMs, error, skipped).c_str());
    if (wait == Link::Wait::Closed || wait == Link::Wait::Failed) {
      summary(total - k - 1);
      return PushResult::LinkFailed;
    }
  }
  summary(0);
  return answered == total ? PushResult::AllAnswered : PushResult::SomeUnanswered;
}

}  // namespace panora::ctl
