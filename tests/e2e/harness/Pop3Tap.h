// A man in the middle between getmail and the private Dovecot: it lets tests
// see what getmail sends, act at the moment a command is sent, hide
// capabilities, and stop the server in the middle of a reply.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace harness {

// A listening TCP socket on a free port of a loopback address: its
// descriptor, and the port in `port`. Throws if it cannot listen.
int ListenOnLoopback(int& port, const std::string& address = "127.0.0.1");

class Pop3Tap {
 public:
  struct Options {
    // Where the tap listens (any loopback address); it picks a free port.
    std::string listenAddress = "127.0.0.1";
    // Read the sessions: record the commands, leave the `hidden` lines out
    // of CAPA replies, call onCommand, cut; after STLS (unless hidden), pass
    // the TLS session on as it is. Off: pass every byte on as it is.
    bool inspect = true;
    // Capabilities left out of CAPA replies. STLS by default, so that the
    // session stays readable.
    std::set<std::string> hidden = {"STLS"};
    // Called on the tap's thread with each command line (without its line
    // end) before the server gets it.
    std::function<void(const std::string&)> onCommand;
    // If set: after a RETR, once `cutAfter` bytes of the reply have been
    // passed on, `cut` is called and both connections end, with nothing
    // more passed on.
    std::function<void()> cut;
    std::size_t cutAfter = 0;
  };

  // Starts listening; passes each client that connects, one after another,
  // on to 127.0.0.1:serverPort.
  Pop3Tap(int serverPort, Options options);
  // Stops listening; waits for a session in progress to end.
  ~Pop3Tap();

  int port() const { return port_; }
  // The command lines the clients sent, in order; PASS and AUTH arguments
  // are replaced by "***".
  std::vector<std::string> Commands();
  // How many of Commands() begin with `verb`.
  int Count(const std::string& verb);
  // Every byte the clients sent, as sent.
  std::string ClientBytes();
  // The most command lines that came in one read from a client: 1 for a
  // client that waits for each reply before it sends the next command.
  int LargestBurst();

 private:
  void Serve(int serverPort);
  void Relay(int client, int server);

  Options options_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::string clientBytes_;
  int largestBurst_ = 0;
};

}  // namespace harness
