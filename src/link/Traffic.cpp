#include "link/Traffic.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "link/Catalogue.h"
#include "link/Commands.h"
#include "link/FrameDecoder.h"

namespace panora {

TrafficLog::TrafficLog(std::size_t capacity) : m_slots(std::max<std::size_t>(capacity, 1)) {}

void TrafficLog::OnTraffic(TrafficDir dir, const std::uint8_t* bytes, int count,
                           TrafficClock::time_point when) {
  if (bytes == nullptr || count < 0) count = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    TrafficRecord& r = m_slots[m_next];
    r.seq = ++m_seq;
    r.when = when;
    r.dir = dir;
    // assign keeps the slot's capacity: a warm ring does not allocate.
    r.bytes.assign(bytes, bytes + count);
    m_next = (m_next + 1) % m_slots.size();
    if (m_count < m_slots.size()) ++m_count;
  }
  // Only while a monitor shows the lines, and once per burst.
  if (m_watching.load(std::memory_order_relaxed) && !m_notified.exchange(true)) {
    std::function<void()> notify;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      notify = m_watcher;
    }
    if (notify) notify();
  }
}

std::vector<TrafficRecord> TrafficLog::Since(std::uint64_t after) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<TrafficRecord> out;
  const std::uint64_t first = m_seq - m_count + 1;  // seq of the oldest held
  const std::uint64_t from = std::max(after + 1, first);
  if (from > m_seq) return out;
  out.reserve(static_cast<std::size_t>(m_seq - from + 1));
  const std::size_t size = m_slots.size();
  for (std::uint64_t s = from; s <= m_seq; ++s) {
    const std::size_t back = static_cast<std::size_t>(m_seq - s);  // 0 = newest
    out.push_back(m_slots[(m_next + size - 1 - back) % size]);
  }
  return out;
}

std::uint64_t TrafficLog::LastSeq() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_seq;
}

std::size_t TrafficLog::Size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_count;
}

void TrafficLog::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_count = 0;  // seq goes on, so a reader's "since" stays meaningful
}

void TrafficLog::SetWatcher(std::function<void()> notify) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_watching.store(static_cast<bool>(notify));
  m_watcher = std::move(notify);
  m_notified.store(false);
}

namespace {

std::string Hex2(unsigned v) {
  char t[8];
  std::snprintf(t, sizeof t, "0x%02X", v & 0xFF);
  return t;
}

// The values of one frame, named where the command's layout is known.
std::string DescribeFrame(const DecoderEvent& e) {
  const std::uint8_t command = e.Command(), sub = e.SubCode();
  const std::uint8_t* p = e.Payload();
  const std::size_t n = e.PayloadSize();
  std::string out = Hex2(command) + " ";
  const CommandInfo* info = FindCommand(command, sub);
  if (info == nullptr) {
    out += "unknown command, sub-code " + Hex2(sub);
  } else {
    out += std::string(info->name);
    if (info->name.starts_with("recall ")) {
      out += " " + std::to_string(sub - info->subFirst + 1);
    } else if (info->subFirst == cmd::kSubChannelFirst && info->subLast == cmd::kSubChannelLast) {
      out += " CH" + std::to_string(sub + 1);
    } else if (sub == cmd::kSubAllChannels && info->subFirst == cmd::kSubAllChannels) {
      out += " all channels";
    }
  }
  if (command == cmd::kSetGeometry && n >= 8) {
    auto word = [p](int i) { return std::to_string(p[i] * 256 + p[i + 1]); };
    out += ": X " + word(0) + " Y " + word(2) + " W " + word(4) + " H " + word(6);
  } else if (n > 0) {
    out += ":";
    for (std::size_t i = 0; i < n; ++i) out += " " + std::to_string(p[i]);
  }
  return out;
}

}  // namespace

std::string DescribeTraffic(const std::uint8_t* bytes, std::size_t count, bool* parsed) {
  if (parsed != nullptr) *parsed = true;
  if (bytes == nullptr || count == 0) return "nothing";
  // Each block on its own: a frame cut across two reads shows as such.
  FrameDecoder decoder;
  std::vector<DecoderEvent> events = decoder.Feed(bytes, count);
  for (auto& e : decoder.Flush()) events.push_back(std::move(e));
  std::string out;
  for (const DecoderEvent& e : events) {
    if (!out.empty()) out += "; ";
    if (e.isFrame) {
      out += DescribeFrame(e);
    } else {
      if (parsed != nullptr) *parsed = false;
      out += "not a frame: " + std::string(SkipReasonText(e.reason)) + ", " + std::to_string(e.bytes.size()) +
             (e.bytes.size() == 1 ? " byte" : " bytes");
    }
  }
  return out;
}

std::string TrafficTime(TrafficClock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char t[16];
  std::snprintf(t, sizeof t, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000));
  return t;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

TrafficLine FormatTraffic(const TrafficRecord& record) {
  TrafficLine line;
  line.time = TrafficTime(record.when);
  switch (record.dir) {
    case TrafficDir::Sent: line.arrow = "\xE2\x86\x92"; break;      // →
    case TrafficDir::Received: line.arrow = "\xE2\x86\x90"; break;  // ←
    case TrafficDir::Unsent: line.arrow = "\xE2\x9C\x97"; break;    // ✗
  }
  line.hex = HexBytes(record.bytes.data(), record.bytes.size());
  line.description = DescribeTraffic(record.bytes.data(), record.bytes.size(), &line.parsed);
  if (record.dir == TrafficDir::Unsent) line.description = "not sent: " + line.description;
  return line;
}

std::string TrafficText(const TrafficLine& line) {
  // The meaning before the bytes: it is what a narrow view must not cut.
  return line.time + " " + line.arrow + " " + line.description + "  " + line.hex;
}

std::string TrafficCsvHeader() {
  return "time,direction,bytes,description";
}

std::string TrafficCsv(const TrafficLine& line, TrafficDir dir) {
  auto quoted = [](const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
      if (c == '"') q += '"';
      q += c;
    }
    return q + "\"";
  };
  const char* d = dir == TrafficDir::Sent ? "sent" : dir == TrafficDir::Received ? "received" : "not sent";
  return line.time + "," + d + "," + line.hex + "," + quoted(line.description);
}

}  // namespace panora
