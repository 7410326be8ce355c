// The hostile server's proper IMAP answers: what a mail tool sends, and
// nothing more. Sequence numbers count the messages of INBOX in the order
// given; UIDs are the messages' uid fields.
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "HostileServer.h"

namespace harness {
namespace {

using Message = HostileServer::Message;

// The words of a command line: blanks split, a quoted string is one word
// (without its quotes and escapes).
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    std::string word;
    if (line[pos] == '"') {
      for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] == '\\' && pos + 1 < line.size()) ++pos;
        word += line[pos];
      }
      ++pos;
    } else {
      std::size_t end = line.find(' ', pos);
      if (end == std::string::npos) end = line.size();
      word = line.substr(pos, end - pos);
      pos = end;
    }
    words.push_back(word);
  }
  return words;
}

std::string UpperOf(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Whether UID `uid` is in the set `set` ("5", "1:*").
bool InSet(const std::string& set, unsigned long uid) {
  std::size_t colon = set.find(':');
  if (colon == std::string::npos) return std::strtoul(set.c_str(), nullptr, 10) == uid;
  unsigned long from = std::strtoul(set.c_str(), nullptr, 10);
  std::string to = set.substr(colon + 1);
  return uid >= from && (to == "*" || uid <= std::strtoul(to.c_str(), nullptr, 10));
}

}  // namespace

std::string HostileServer::ImapAnswer(const std::string& command, std::vector<Message>& box,
                                      bool& quit) {
  if (!pendingTag_.empty()) {
    // The response AUTHENTICATE asked for.
    std::string tag = pendingTag_;
    pendingTag_.clear();
    return tag + " OK signed in\r\n";
  }
  std::vector<std::string> words = Words(command);
  if (words.size() < 2) return "* BAD no command\r\n";
  const std::string tag = words[0];
  bool uidCommand = UpperOf(words[1]) == "UID" && words.size() > 2;
  const std::string verb = UpperOf(words[uidCommand ? 2 : 1]);
  const std::vector<std::string> args(words.begin() + (uidCommand ? 3 : 2), words.end());
  auto offered = [this](const std::string& capability) {
    for (const std::string& line : options_.capabilities) {
      if (line == capability) return true;
    }
    return false;
  };
  const std::string ok = tag + " OK done\r\n";
  const std::string bad = tag + " BAD not here\r\n";
  // The messages of INBOX, by sequence number.
  std::vector<Message*> inbox;
  for (Message& message : box) {
    if (message.folder.empty()) inbox.push_back(&message);
  }
  auto uidOf = [](const Message& message) {
    return message.uid ? std::strtoul(message.uid->c_str(), nullptr, 10) : 0ul;
  };

  if (verb == "CAPABILITY") {
    std::string list = "* CAPABILITY";
    for (const std::string& capability : options_.capabilities) list += " " + capability;
    return list + "\r\n" + ok;
  }
  if (verb == "LOGIN") return ok;
  if (verb == "AUTHENTICATE") {
    if (args.size() >= 2) return ok;  // with its initial response
    pendingTag_ = tag;
    return "+ \r\n";
  }
  if (verb == "LOGOUT") {
    quit = true;
    return "* BYE logging out\r\n" + ok;
  }
  if (verb == "EXAMINE" || verb == "SELECT") {
    if (args.empty() || UpperOf(args[0]) != "INBOX") return tag + " NO no such mailbox\r\n";
    std::lock_guard<std::mutex> lock(mutex_);
    return "* " + std::to_string(inbox.size()) + " EXISTS\r\n* OK [UIDVALIDITY " +
           std::to_string(uidValidity_) + "] UIDs valid\r\n" + ok;
  }
  if (verb == "EXPUNGE" || verb == "CLOSE") {
    // Never to be sent by the tool; done as a server does, so tests see it.
    std::vector<Message> kept;
    for (Message& message : box) {
      if (!(message.folder.empty() && message.deleted)) kept.push_back(message);
    }
    box = std::move(kept);
    return ok;
  }
  if (!uidCommand || args.empty()) return bad;
  const std::string& set = args[0];
  if (verb == "FETCH") {
    const std::string items = UpperOf(command.substr(command.find('(')));
    std::string reply;
    for (std::size_t k = 0; k < inbox.size(); ++k) {
      const Message& message = *inbox[k];
      if (!InSet(set, uidOf(message))) continue;
      reply += "* " + std::to_string(k + 1) + " FETCH (UID " + std::to_string(uidOf(message));
      if (items.find("RFC822.SIZE") != std::string::npos) {
        reply += " RFC822.SIZE " +
                 std::to_string(message.size ? *message.size : message.raw.size());
      }
      if (items.find("BODY.PEEK[HEADER]") != std::string::npos) {
        reply += " BODY[HEADER] " + Literal(HeaderBlock(message));
      }
      if (items.find("BODY.PEEK[]") != std::string::npos) {
        reply += " BODY[] " + Literal(message.raw);
      }
      reply += ")\r\n";
    }
    return reply + ok;
  }
  if (verb == "STORE") {
    for (Message* message : inbox) {
      if (InSet(set, uidOf(*message))) message->deleted = true;
    }
    return ok;
  }
  if (verb == "EXPUNGE" && offered("UIDPLUS")) {
    std::string reply;
    std::vector<Message> kept;
    int number = 0;
    for (Message& message : box) {
      if (message.folder.empty()) ++number;
      if (message.folder.empty() && message.deleted && InSet(set, uidOf(message))) {
        reply += "* " + std::to_string(number--) + " EXPUNGE\r\n";
      } else {
        kept.push_back(message);
      }
    }
    box = std::move(kept);
    return reply + ok;
  }
  if ((verb == "COPY" || (verb == "MOVE" && offered("MOVE"))) && args.size() >= 2) {
    if (args[1] != "Archive" && args[1] != "[Gmail]/Trash") {
      return tag + " NO [TRYCREATE] no such mailbox\r\n";
    }
    std::vector<Message> kept, copies;
    for (Message& message : box) {
      if (message.folder.empty() && InSet(set, uidOf(message))) {
        Message copy = message;
        copy.folder = args[1];
        copy.deleted = false;
        copies.push_back(copy);
        if (verb == "MOVE") continue;
      }
      kept.push_back(message);
    }
    kept.insert(kept.end(), copies.begin(), copies.end());
    box = std::move(kept);
    return ok;
  }
  return bad;
}

}  // namespace harness
