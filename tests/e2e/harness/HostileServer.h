// A POP3 or IMAP server on loopback (plain TCP) that tests script to
// misbehave: any command can get a reply of the test's own in place of the
// proper one, sent at once, piece by piece with pauses, again and again
// without end, or followed by hanging up. Otherwise it serves its mailbox as
// RFC 1939 says, deleting only at QUIT, or as much of IMAP4rev1 as a mail
// tool needs (HostileImap.cpp), with UIDPLUS and MOVE where its
// capabilities name them. It records the commands of each session, so that
// a test can state which DELE (UID STORE, UID EXPUNGE) was sent and whether
// QUIT was.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace harness {

class HostileServer {
 public:
  struct Message {
    Message() = default;
    Message(std::string raw, std::optional<std::string> uid,
            std::optional<std::uint64_t> size = std::nullopt)
        : raw(std::move(raw)), uid(std::move(uid)), size(size) {}
    std::string raw;                 // the message, line ends as they are
    std::optional<std::string> uid;  // nothing: left out of UIDL; IMAP: its UID
    // The size LIST and RETR (IMAP: RFC822.SIZE) announce; nothing: raw's size.
    std::optional<std::uint64_t> size;
    bool deleted = false;  // IMAP: flagged \Deleted
    std::string folder;    // IMAP: the mailbox it is in; empty: INBOX
  };

  // A reply in place of the proper one.
  struct Reply {
    Reply() = default;
    Reply(std::string data, std::string repeat = "", std::size_t piece = 0, int pauseMs = 0,
          bool hangUp = false)
        : data(std::move(data)), repeat(std::move(repeat)), piece(piece), pauseMs(pauseMs),
          hangUp(hangUp) {}
    std::string data;         // sent first
    std::string repeat;       // then sent again and again, until the client leaves
    std::size_t piece = 0;    // > 0: everything in pieces of this many bytes,
    int pauseMs = 0;          //      this long apart
    bool hangUp = false;      // then the connection is closed
  };

  struct Options {
    std::vector<std::string> capabilities = {"TOP", "UIDL", "USER", "PIPELINING"};
    bool capaRefused = false;  // CAPA gets "-ERR"
    bool imap = false;         // speak IMAP
  };

  // The capabilities of an IMAP server with all the tool may use.
  static std::vector<std::string> ImapCapabilities() {
    return {"IMAP4rev1", "AUTH=PLAIN", "SASL-IR", "UIDPLUS", "MOVE"};
  }


  HostileServer(std::vector<Message> messages, Options options);
  // Ends a session in progress and stops listening.
  ~HostileServer();
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  int port() const { return port_; }

  // Replies from now on in place of the proper ones, keyed by the whole
  // command line ("RETR 2") or by its first word ("TOP"); the key "" is the
  // greeting. IMAP commands are keyed without their tag ("UID FETCH 2
  // (UID BODY.PEEK[])", "UID STORE", "SELECT"), and "$TAG" in a reply
  // stands for the command's tag.
  void SetReply(const std::string& key, Reply reply);
  // Calls `hook` with each command line as it arrives, before the reply
  // (on the server's thread), to do something at that moment: stop the
  // client, say.
  void OnCommand(std::function<void(const std::string&)> hook);
  // The mailbox as it stands, and changed behind the sessions' back, as
  // another mail client would change it.
  std::vector<Message> Messages();
  void SetMessages(std::vector<Message> messages);
  // The command lines (without line ends) of each session so far.
  std::vector<std::vector<std::string>> Sessions();

  // The proper reply to RETR of `message`: the status line with its size,
  // the message dot-stuffed and the final ".".
  static std::string RetrReply(const Message& message);
  // IMAP: the UIDVALIDITY of INBOX (changed as if the mailbox was rebuilt).
  void SetUidValidity(std::uint32_t value);
  // IMAP: `text` as a literal.
  static std::string Literal(const std::string& text) {
    return "{" + std::to_string(text.size()) + "}\r\n" + text;
  }
  // The header of `message` and the empty line after it.
  static std::string HeaderBlock(const Message& message);

 private:
  void Serve();
  void Session(int client);
  // Sends `reply`; false once the client has gone or the server stops.
  bool Send(int client, const Reply& reply);
  bool SendAll(int client, const std::string& data);
  // The proper reply to one command; sets `quit` at QUIT.
  std::string Answer(const std::string& command, std::vector<Message>& box,
                     std::vector<bool>& deleted, bool& quit);
  // The same for IMAP: `command` with its tag; `box` is the whole store,
  // every mailbox's messages, changed at once.
  std::string ImapAnswer(const std::string& command, std::vector<Message>& box, bool& quit);

  std::uint32_t uidValidity_ = 1700000001;
  std::string pendingTag_;  // IMAP: AUTHENTICATE waiting for its response

  Options options_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<Message> messages_;
  std::map<std::string, Reply> replies_;
  std::function<void(const std::string&)> hook_;
  std::vector<std::vector<std::string>> sessions_;
  std::thread thread_;
};

}  // namespace harness
