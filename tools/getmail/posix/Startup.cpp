#include "tools/getmail/Startup.h"

namespace getmail {

void SafeStart() {}

}  // namespace getmail
