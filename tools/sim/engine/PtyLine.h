// The simulator's serial line: a pseudo-terminal (raw 115200 8N1) whose
// slave a symlink at ptyPath names, served by one thread ("sim-pty") for
// whoever has the line open, through one Session.
//
// A master whose slave nobody holds reports a hang-up without end, so the
// line holds the slave open itself from before the link exists, and counts
// the clients' opens and closes of the slave with inotify; the last close is
// the hang-up (the answers nobody read are flushed, a client's TIOCEXCL,
// which on a pty outlives the close, is cleared). Without inotify it holds
// the slave only while idle; without either it looks every 20 ms. A dropped
// connection (drop-after) gets a fresh pty behind the same link, as after a
// cable pull.
//
// Threads: Open and Close by the server while Run is not running; Run on
// the pty's thread until the stop signal; SlaveName from any thread.
#pragma once

#include <mutex>
#include <string>

namespace panora::sim {

struct ServingContext;

class PtyLine {
 public:
  explicit PtyLine(const ServingContext& context);
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  // A new pty, its symlink at ptyPath (never replacing a file that is not a
  // symlink) and the watch on its slave; a pty open before is closed. On
  // failure returns false with the reason in error, and the pty open before
  // stays as it was.
  bool Open(std::string& error);
  // Serves the line until the stop signal or until the pty cannot be
  // reopened after a drop.
  void Run();
  // Closes the pty and removes the symlink if it still leads to our slave:
  // another simulator may have taken the path since.
  void Close();

  bool IsOpen() const { return m_masterFd >= 0; }
  std::string SlaveName() const;  // "/dev/pts/N", or empty

 private:
  const ServingContext& m_ctx;
  const std::string& m_path;  // the symlink, ServerOptions::ptyPath
  int m_masterFd = -1;
  int m_ownFd = -1;    // the slave, held open by us
  int m_watchFd = -1;  // inotify on the slave's opens and closes, or -1
  bool m_symlinkMade = false;
  mutable std::mutex m_nameMutex;  // guards m_slaveName (the pty may be reopened)
  std::string m_slaveName;
};

}  // namespace panora::sim
