#include <string>

#include "tools/getmail/Errors.h"
#include "tools/getmail/TokenCommand.h"

namespace getmail {

std::string TokenFromOutput(const std::string& output) {
  const char* blanks = " \t\r\n";
  std::size_t first = output.find_first_not_of(blanks);
  if (first == std::string::npos) {
    throw Error(std::string("the token command (") + kOAuthCommandVariable +
                ") printed no access token; nothing was sent to the server");
  }
  std::size_t last = output.find_last_not_of(blanks);
  std::string token = output.substr(first, last - first + 1);
  for (char c : token) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) {
      throw Error(std::string("the token command (") + kOAuthCommandVariable +
                  ") printed more than one word or a control character; it "
                  "must print the access token alone. Nothing was sent to "
                  "the server");
    }
  }
  return token;
}

}  // namespace getmail
