// Verification of the server's certificate in the tool's own code, after
// every handshake: Schannel is told to leave it to us.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <chrono>
#include <string>
#include <vector>

namespace getmail::win32 {

class CaFile;

// The address bytes of an IPv4 (4 bytes) or IPv6 (16 bytes) literal; empty
// when `host` is a name.
std::vector<unsigned char> AddressBytes(const std::string& host);

// Accepts `certificate` (with the chain the server sent in its store) for
// `host` or throws Error naming `where`. Fetching what the chain lacks (on
// Windows: roots and intermediates from their URLs) waits at most `timeout`
// per URL.
// - its chain must end in a root the system trusts, or, with `caFile`, in
//   one of the file's CAs (checked here byte for byte, not taken from the
//   chain engine's word alone), with no fault anywhere in the chain;
// - a host name must pass the system's SSL policy for that name; an address
//   must be one of the certificate's IP entries (a name entry never serves
//   for an address, nor an IP entry for a name).
void VerifyServerCertificate(PCCERT_CONTEXT certificate, const std::string& host,
                             const CaFile* caFile, const std::string& where,
                             std::chrono::milliseconds timeout);

}  // namespace getmail::win32
