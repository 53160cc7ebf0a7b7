// What went over the wire, for the traffic monitor. The transports report
// every frame they sent and every block they received to one TrafficHook;
// TrafficLog keeps the last lines in a fixed ring, cheaply enough to run
// while nobody looks, and tells a watcher (batched) only while one is set.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace panora {

enum class TrafficDir : std::uint8_t {
  Sent,      // a frame as the program hands it to the transport
  Unsent,    // the same frame again when its write failed or was cut
  Received,  // a block as one read handed it over
};

using TrafficClock = std::chrono::system_clock;

// Called on the user-interface thread, reply-wait workers and reader threads.
class TrafficHook {
 public:
  virtual ~TrafficHook() = default;
  virtual void OnTraffic(TrafficDir dir, const std::uint8_t* bytes, int count,
                         TrafficClock::time_point when) = 0;
};

struct TrafficRecord {
  std::uint64_t seq = 0;  // 1 for the first record ever logged
  TrafficClock::time_point when;
  TrafficDir dir = TrafficDir::Sent;
  std::vector<std::uint8_t> bytes;
};

// The ring of the last kCapacity records. Each slot keeps its buffer, so a
// full ring logs without allocating. Thread-safe.
class TrafficLog final : public TrafficHook {
 public:
  static constexpr std::size_t kCapacity = 10000;

  explicit TrafficLog(std::size_t capacity = kCapacity);

  void OnTraffic(TrafficDir dir, const std::uint8_t* bytes, int count,
                 TrafficClock::time_point when) override;

  // Records with seq > after, oldest first (at most the ring's content).
  std::vector<TrafficRecord> Since(std::uint64_t after) const;
  std::uint64_t LastSeq() const;
  std::size_t Size() const;
  std::size_t Capacity() const { return m_slots.size(); }
  void Clear();

  // While a watcher is set, the first record after each Take... call runs
  // it once (on the logging thread; it should only post), so a burst of
  // traffic costs one notice. Cleared with an empty function.
  void SetWatcher(std::function<void()> notify);
  // The watcher calls this when it reads, re-arming the notice.
  void Rearm() { m_notified.store(false); }

 private:
  mutable std::mutex m_mutex;
  std::vector<TrafficRecord> m_slots;
  std::size_t m_next = 0;   // slot of the next record
  std::size_t m_count = 0;  // records held
  std::uint64_t m_seq = 0;  // last seq given
  std::function<void()> m_watcher;
  std::atomic<bool> m_watching{false};
  std::atomic<bool> m_notified{false};
};

// One monitor line, as text pieces.
struct TrafficLine {
  std::string time;         // "HH:MM:SS.mmm", local time
  std::string arrow;        // "→" sent, "←" received, "✗" unsent
  std::string hex;          // "7D 3A 00 0C ..."
  std::string description;  // "0x30 window geometry CH2: X 92 Y 23 W 960 H 540"
  bool parsed = true;       // false: the bytes hold something that is no frame
};

// What the bytes say: each frame named from the command catalogue with its
// values; what is no frame said as such ("not a frame: bad checksum, 12 bytes").
std::string DescribeTraffic(const std::uint8_t* bytes, std::size_t count, bool* parsed = nullptr);
TrafficLine FormatTraffic(const TrafficRecord& record);
// "HH:MM:SS.mmm" in local time.
std::string TrafficTime(TrafficClock::time_point when);
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);
// Plain text: "time arrow description  hex"; CSV: time,direction,bytes,description
// with the fields quoted where needed.
std::string TrafficText(const TrafficLine& line);
std::string TrafficCsvHeader();
std::string TrafficCsv(const TrafficLine& line, TrafficDir dir);

}  // namespace panora
