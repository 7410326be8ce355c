#include "HostileServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "Pop3Tap.h"

namespace harness {
namespace {

// A message's lines, each line beginning with "." given another, ending in
// a line end.
std::string Stuffed(const std::string& text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    if (text[pos] == '.') out += '.';
    out.append(text, pos, end - pos);
    pos = end;
  }
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  return out;
}

// The header and the empty line after it.
std::string HeaderOf(const std::string& raw) {
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t end = raw.find('\n', pos);
    if (end == std::string::npos) break;
    if (end == pos || (end == pos + 1 && raw[pos] == '\r')) return raw.substr(0, end + 1);
    pos = end + 1;
  }
  return raw + "\r\n\r\n";
}

std::uint64_t SizeOf(const HostileServer::Message& message) {
  return message.size ? *message.size : message.raw.size();
}

}  // namespace

HostileServer::HostileServer(std::vector<Message> messages, Options options)
    : options_(std::move(options)), messages_(std::move(messages)) {
  listener_ = ListenOnLoopback(port_);
  fcntl(listener_, F_SETFL, fcntl(listener_, F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { Serve(); });
}

HostileServer::~HostileServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

void HostileServer::SetUidValidity(std::uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  uidValidity_ = value;
}

std::string HostileServer::HeaderBlock(const Message& message) { return HeaderOf(message.raw); }

void HostileServer::SetReply(const std::string& key, Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[key] = std::move(reply);
}

void HostileServer::OnCommand(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<HostileServer::Message> HostileServer::Messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

void HostileServer::SetMessages(std::vector<Message> messages) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_ = std::move(messages);
}

std::vector<std::vector<std::string>> HostileServer::Sessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

std::string HostileServer::RetrReply(const Message& message) {
  return "+OK " + std::to_string(SizeOf(message)) + " octets\r\n" + Stuffed(message.raw) +
         ".\r\n";
}

void HostileServer::Serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 100) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) continue;
    Session(client);
    close(client);
  }
}

bool HostileServer::SendAll(int client, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    if (stopping_) return false;
    ssize_t n = send(client, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      pollfd ready{client, POLLOUT, 0};
      poll(&ready, 1, 100);
    } else {
      return false;
    }
  }
  return true;
}

bool HostileServer::Send(int client, const Reply& reply) {
  auto sendPaced = [&](const std::string& data) {
    if (reply.piece == 0) return SendAll(client, data);
    for (std::size_t pos = 0; pos < data.size(); pos += reply.piece) {
      if (pos > 0) {
        // The pause in short steps, so that the server can stop.
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.pauseMs);
        while (std::chrono::steady_clock::now() < until) {
          if (stopping_) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }
      if (!SendAll(client, data.substr(pos, reply.piece))) return false;
    }
    return true;
  };
  if (!sendPaced(reply.data)) return false;
  while (!reply.repeat.empty()) {
    if (!sendPaced(reply.repeat)) return false;
  }
  return true;
}

void HostileServer::Session(int client) {
  std::vector<Message> box;
  std::map<std::string, Reply> replies;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    box = messages_;
    sessions_.emplace_back();
  }
  std::vector<bool> deleted(box.size(), false);
  auto replyFor = [&](const std::string& key) -> std::optional<Reply> {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = replies_.find(key);
    std::string verb = key.substr(0, key.find(' '));
    if (found == replies_.end() && !verb.empty()) found = replies_.find(verb);
    if (found == replies_.end()) return std::nullopt;
    return found->second;
  };
  std::optional<Reply> greeting = replyFor("");
  std::string hello = "+OK hostile POP3 server ready\r\n";
  if (options_.imap) {
    hello = "* OK hostile IMAP server ready\r\n";
    pendingTag_.clear();
  }
  if (!Send(client, greeting ? *greeting : Reply{hello}) || (greeting && greeting->hangUp)) {
    return;
  }
  std::string pending;
  while (!stopping_) {
    pollfd readable{client, POLLIN, 0};
    if (poll(&readable, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
    if (n < 0) continue;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string command = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!command.empty() && command.back() == '\r') command.pop_back();
      std::function<void(const std::string&)> hook;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions_.back().push_back(command);
        hook = hook_;
      }
      if (hook) hook(command);
      std::optional<Reply> scripted;
      if (options_.imap) {
        // Keyed without the tag: the whole command, "UID VERB", or the verb.
        const std::size_t space = command.find(' ');
        const std::string tag = command.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : command.substr(space + 1);
        scripted = replyFor(rest);
        if (!scripted && rest.rfind("UID ", 0) == 0) {
          scripted = replyFor(rest.substr(0, rest.find(' ', 4)));
        }
        for (std::string* text : {scripted ? &scripted->data : nullptr,
                                  scripted ? &scripted->repeat : nullptr}) {
          for (std::size_t at; text != nullptr && (at = text->find("$TAG")) != std::string::npos;) {
            text->replace(at, 4, tag);
          }
        }
      } else {
        scripted = replyFor(command);
      }
      if (scripted) {
        if (!Send(client, *scripted) || scripted->hangUp) return;
        continue;
      }
      bool quit = false;
      if (options_.imap) {
        const std::string answer = ImapAnswer(command, box, quit);
        {
          // IMAP changes the store at once, not at the session's end.
          std::lock_guard<std::mutex> lock(mutex_);
          messages_ = box;
        }
        if (!SendAll(client, answer) || quit) return;
        continue;
      }
      const std::string answer = Answer(command, box, deleted, quit);
      if (quit) {
        // Deletions are made before QUIT is confirmed, as a server does: a
        // test that looks once the client has ended sees them.
        std::vector<Message> kept;
        for (std::size_t k = 0; k < box.size(); ++k) {
          if (!deleted[k]) kept.push_back(box[k]);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        messages_ = std::move(kept);
      }
      if (!SendAll(client, answer) || quit) return;
    }
  }
}

std::string HostileServer::Answer(const std::string& command, std::vector<Message>& box,
                                  std::vector<bool>& deleted, bool& quit) {
  std::size_t space = command.find(' ');
  std::string verb = command.substr(0, space);
  std::string argument = space == std::string::npos ? "" : command.substr(space + 1);
  // Without CAPA, whatever is not offered cannot be told apart: all works.
  auto offered = [this](const std::string& capability) {
    if (options_.capaRefused) return true;
    for (const std::string& line : options_.capabilities) {
      if (line == capability) return true;
    }
    return false;
  };
  // The message an argument names, if it names one that is not deleted.
  auto numbered = [&](const std::string& text) -> int {
    int n = std::atoi(text.c_str());
    return n >= 1 && n <= static_cast<int>(box.size()) && !deleted[n - 1] ? n : 0;
  };
  const std::string ok = "+OK\r\n";
  const std::string refused = "-ERR no\r\n";
  if (verb == "CAPA") {
    if (options_.capaRefused) return "-ERR unknown command\r\n";
    std::string reply = "+OK capabilities follow\r\n";
    for (const std::string& line : options_.capabilities) reply += line + "\r\n";
    return reply + ".\r\n";
  }
  if (verb == "USER" || verb == "PASS" || verb == "AUTH" || verb == "NOOP" || verb == "RSET") {
    return ok;
  }
  if (verb == "QUIT") {
    quit = true;
    return "+OK bye\r\n";
  }
  if (verb == "STAT") {
    std::uint64_t total = 0;
    int count = 0;
    for (std::size_t k = 0; k < box.size(); ++k) {
      if (deleted[k]) continue;
      total += SizeOf(box[k]);
      ++count;
    }
    return "+OK " + std::to_string(count) + " " + std::to_string(total) + "\r\n";
  }
  if (verb == "LIST" || (verb == "UIDL" && offered("UIDL"))) {
    auto item = [&](int n) {
      if (verb == "LIST") return std::to_string(n) + " " + std::to_string(SizeOf(box[n - 1]));
      return box[n - 1].uid ? std::to_string(n) + " " + *box[n - 1].uid : std::string();
    };
    if (!argument.empty()) {
      int n = numbered(argument);
      return n == 0 || item(n).empty() ? refused : "+OK " + item(n) + "\r\n";
    }
    std::string reply = ok;
    for (std::size_t k = 0; k < box.size(); ++k) {
      if (!deleted[k] && !item(static_cast<int>(k) + 1).empty()) {
        reply += item(static_cast<int>(k) + 1) + "\r\n";
      }
    }
    return reply + ".\r\n";
  }
  if (verb == "TOP" && offered("TOP")) {
    int n = numbered(argument.substr(0, argument.find(' ')));
    return n == 0 ? refused : ok + Stuffed(HeaderOf(box[n - 1].raw)) + ".\r\n";
  }
  if (verb == "RETR") {
    int n = numbered(argument);
    return n == 0 ? refused : RetrReply(box[n - 1]);
  }
  if (verb == "DELE") {
    int n = numbered(argument);
    if (n == 0) return refused;
    deleted[n - 1] = true;
    return ok;
  }
  return "-ERR unknown command\r\n";
}

}  // namespace harness
