#include "link/FrameDecoder.h"

#include <algorithm>

#include "link/Frame.h"

namespace panora {

std::string_view SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::Garbage: return "garbage";
    case SkipReason::BadLength: return "bad length";
    case SkipReason::BadChecksum: return "bad checksum";
    case SkipReason::BadTrailer: return "bad trailer";
    case SkipReason::Truncated: return "truncated";
  }
  return "unknown";
}

void FrameDecoder::Emit(std::vector<DecoderEvent>& out, SkipReason reason, std::size_t count) {
  // Neighbouring skips of the same kind read better as one.
  if (!out.empty() && !out.back().isFrame && out.back().reason == reason && out.back().candidate.empty()) {
    out.back().bytes.insert(out.back().bytes.end(), m_buf.begin(), m_buf.begin() + static_cast<long>(count));
  } else {
    DecoderEvent ev;
    ev.reason = reason;
    ev.bytes.assign(m_buf.begin(), m_buf.begin() + static_cast<long>(count));
    out.push_back(std::move(ev));
  }
  m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<long>(count));
}

std::vector<DecoderEvent> FrameDecoder::Feed(const std::uint8_t* data, std::size_t count) {
  std::vector<DecoderEvent> out;
  if (data != nullptr && count > 0) m_buf.insert(m_buf.end(), data, data + count);

  while (!m_buf.empty()) {
    if (m_buf[0] != kFrameStart0) {
      auto next = std::find(m_buf.begin() + 1, m_buf.end(), kFrameStart0);
      Emit(out, SkipReason::Garbage, static_cast<std::size_t>(next - m_buf.begin()));
      continue;
    }
    if (m_buf.size() < 2) break;
    if (m_buf[1] != kFrameStart1) {
      Emit(out, SkipReason::Garbage, 1);
      continue;
    }
    if (m_buf.size() < 4) break;
    const std::size_t counted = std::size_t{m_buf[2]} * 255 + m_buf[3];
    const std::size_t total = counted + 8;
    if (m_buf[3] >= 255 || counted < 4 || total > kMaxFrame) {
      Emit(out, SkipReason::BadLength, 1);
      continue;
    }
    if (m_buf.size() < total) break;

    unsigned sum = 0;
    for (std::size_t i = 4; i < counted + 4; ++i) sum += m_buf[i];
    SkipReason bad = SkipReason::Garbage;
    if (static_cast<std::uint8_t>(sum) != m_buf[counted + 4]) {
      bad = SkipReason::BadChecksum;
    } else if (!std::equal(std::begin(kFrameTrailer), std::end(kFrameTrailer),
                           m_buf.begin() + static_cast<long>(counted + 5))) {
      bad = SkipReason::BadTrailer;
    }
    if (bad != SkipReason::Garbage) {
      // Only the start bytes are given up: a real frame may begin inside.
      DecoderEvent ev;
      ev.reason = bad;
      ev.bytes.assign(m_buf.begin(), m_buf.begin() + 2);
      ev.candidate.assign(m_buf.begin(), m_buf.begin() + static_cast<long>(total));
      out.push_back(std::move(ev));
      m_buf.erase(m_buf.begin(), m_buf.begin() + 2);
      continue;
    }
    DecoderEvent ev;
    ev.isFrame = true;
    ev.bytes.assign(m_buf.begin(), m_buf.begin() + static_cast<long>(total));
    out.push_back(std::move(ev));
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<long>(total));
  }
  return out;
}

std::vector<DecoderEvent> FrameDecoder::Flush() {
  std::vector<DecoderEvent> out;
  if (!m_buf.empty()) Emit(out, SkipReason::Truncated, m_buf.size());
  return out;
}

}  // namespace panora
