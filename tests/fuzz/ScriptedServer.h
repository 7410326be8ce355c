// A stand-in POP3 server on a loopback port that says the same bytes to
// each client, whatever the client sends: a fuzz input stands for all a
// server says in one session.
#pragma once

#include <string>
#include <string_view>
#include <thread>

namespace fuzz {

class ScriptedServer {
 public:
  ScriptedServer();  // listens on a free port of 127.0.0.1
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // Serves the next client on a thread of its own: sends `bytes` while
  // taking in (and dropping) what the client sends, then ends its side of
  // the connection and waits for the client to close.
  void Serve(std::string_view bytes);
  // Waits until that client has been served.
  void Finish();

 private:
  void ServeOne();

  int listener_ = -1;
  int port_ = 0;
  std::string bytes_;
  std::thread thread_;
};

}  // namespace fuzz
