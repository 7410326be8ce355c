#include "tools/getmail/win32/CertificateCheck.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/CaFile.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail::win32 {
namespace {

struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

struct EngineFree {
  void operator()(HCERTCHAINENGINE engine) const { CertFreeCertificateChainEngine(engine); }
};
using Engine = std::unique_ptr<void, EngineFree>;

std::string NotTrusted(const std::string& where, const std::string& why) {
  return "the certificate of " + where + " is not trusted: " + why;
}

// Builds the chain for a server certificate with `engine`, taking
// intermediates from what the server sent.
Chain BuildChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT certificate,
                 const std::string& where) {
  static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // Revocation is checked for every certificate but the root (which no one
  // above it can revoke), within the engine's one time-out for all
  // fetches; a stapled OCSP answer that Schannel took counts too.
  const DWORD flags =
      CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
  if (!CertGetCertificateChain(engine, certificate, nullptr, certificate->hCertStore,
                               &para, flags, nullptr, &chain) ||
      chain == nullptr) {
    throw Error("cannot check the certificate of " + where + ": " +
                ErrorText(GetLastError()));
  }
  return Chain(chain);
}

// A chain engine on the system's stores whose URL fetches wait at most
// `timeout`; with `exclusiveRoots`, those are its only trusted roots. The
// configuration has the Windows 7 layout (up to hExclusiveTrustedPeople):
// Wine 8 refuses the larger one that adds dwExclusiveFlags, and Windows
// takes both.
Engine MakeEngine(HCERTSTORE exclusiveRoots, std::chrono::milliseconds timeout,
                  const std::string& where) {
  CERT_CHAIN_ENGINE_CONFIG config{};
  config.cbSize = static_cast<DWORD>(offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) +
                                     sizeof config.hExclusiveTrustedPeople);
  config.dwUrlRetrievalTimeout = static_cast<DWORD>(
      std::clamp<long long>(static_cast<long long>(timeout.count()), 1, MAXDWORD));
  config.hExclusiveRoot = exclusiveRoots;
  HCERTCHAINENGINE engine = nullptr;
  if (!CertCreateCertificateChainEngine(&config, &engine)) {
    throw Error("cannot check the certificate of " + where + ": " +
                ErrorText(GetLastError()));
  }
  return Engine(engine);
}

// The certificate the chain ends in, or null.
PCCERT_CONTEXT RootOf(const CERT_CHAIN_CONTEXT& chain) {
  if (chain.cChain == 0) return nullptr;
  const CERT_SIMPLE_CHAIN* simple = chain.rgpChain[chain.cChain - 1];
  if (simple == nullptr || simple->cElement == 0) return nullptr;
  return simple->rgpElement[simple->cElement - 1]->pCertContext;
}

// A chain's error status without what only says that revocation could not
// be checked (no list or responder named, or none within reach): mail
// clients accept those. "Revoked" stays.
DWORD ErrorsThatCount(const CERT_CHAIN_CONTEXT& chain) {
  return chain.TrustStatus.dwErrorStatus &
         ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                             CERT_TRUST_IS_OFFLINE_REVOCATION);
}

// What is wrong with a chain, from its error status.
std::string ChainProblem(DWORD status) {
  static const struct {
    DWORD bit;
    const char* text;
  } kProblems[] = {
      {CERT_TRUST_IS_NOT_TIME_VALID, "it has expired or is not valid yet"},
      {CERT_TRUST_IS_REVOKED, "it has been revoked"},
      {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "a signature in its chain is not valid"},
      {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "it is not meant for a server"},
      {CERT_TRUST_IS_UNTRUSTED_ROOT, "its chain ends in an untrusted root"},
      {CERT_TRUST_IS_PARTIAL_CHAIN, "its chain does not reach a trusted root"},
      {CERT_TRUST_IS_CYCLIC, "its chain is cyclic"},
      {CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_INVALID_BASIC_CONSTRAINTS |
           CERT_TRUST_INVALID_NAME_CONSTRAINTS | CERT_TRUST_INVALID_POLICY_CONSTRAINTS,
       "its chain breaks a constraint"},
  };
  for (const auto& problem : kProblems) {
    if ((status & problem.bit) != 0) return problem.text;
  }
  return "its chain has the fault " + ErrorText(status);
}

// Runs the system's SSL policy on a trusted chain: the server's name for a
// name; for an address only the rest (the address is matched by us).
void CheckSslPolicy(const CERT_CHAIN_CONTEXT* chain, const std::string& host,
                    bool isAddress, const std::string& where) {
  std::wstring name = Widen(host);
  HTTPSPolicyCallbackData ssl{};
  ssl.cbStruct = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  // Revocation was judged on the chain's status, which refuses "revoked"
  // and takes "not known": the policy would refuse both (Wine's does, and
  // before the name).
  ssl.fdwChecks = SECURITY_FLAG_IGNORE_REVOCATION |
                  (isAddress ? SECURITY_FLAG_IGNORE_CERT_CN_INVALID : 0);
  ssl.pwszServerName = isAddress ? nullptr : &name[0];
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) {
    throw Error("cannot check the certificate of " + where + ": " +
                ErrorText(GetLastError()));
  }
  if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH)) {
    throw Error("the certificate of " + where + " is not for the name " + host);
  }
  if (status.dwError == static_cast<DWORD>(CRYPT_E_REVOKED)) {
    throw Error(NotTrusted(where, "it has been revoked"));
  }
  if (status.dwError != 0) {
    throw Error(NotTrusted(where, ErrorText(status.dwError)));
  }
}

// Whether one of the certificate's subjectAltName IP entries is `address`.
bool NamesAddress(PCCERT_CONTEXT certificate,
                  const std::vector<unsigned char>& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  PCERT_EXTENSION extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME,
                           extension->Value.pbData, extension->Value.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
    return false;
  }
  bool found = false;
  for (DWORD k = 0; k < names->cAltEntry && !found; ++k) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[k];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  LocalFree(names);
  return found;
}

}  // namespace

std::vector<unsigned char> AddressBytes(const std::string& host) {
  std::wstring wide = Widen(host);
  unsigned char bytes[16];
  if (InetPtonW(AF_INET, wide.c_str(), bytes) == 1) {
    return std::vector<unsigned char>(bytes, bytes + 4);
  }
  if (InetPtonW(AF_INET6, wide.c_str(), bytes) == 1) {
    return std::vector<unsigned char>(bytes, bytes + 16);
  }
  return {};
}

void VerifyServerCertificate(PCCERT_CONTEXT certificate, const std::string& host,
                             const CaFile* caFile, const std::string& where,
                             std::chrono::milliseconds timeout) {
  const std::string hint =
      " (a private CA can be named in QUARROW_GETMAIL_CAFILE)";
  Engine system = MakeEngine(nullptr, timeout, where);
  Engine fileEngine;  // declared before the chain, which must go first
  Chain chain = BuildChain(system.get(), certificate, where);
  DWORD systemStatus = ErrorsThatCount(*chain);
  if (systemStatus != 0) {
    if (caFile == nullptr) throw Error(NotTrusted(where, ChainProblem(systemStatus) + hint));
    // Again with the file's CAs as the only roots. Their word alone is not
    // enough (under Wine 8 the SSL policy passes chains that miss the given
    // roots): the root must be, byte for byte, one of the file's.
    fileEngine = MakeEngine(caFile->store(), timeout, where);
    chain = BuildChain(fileEngine.get(), certificate, where);
    DWORD fileStatus = ErrorsThatCount(*chain);
    PCCERT_CONTEXT root = RootOf(*chain);
    if (root == nullptr || !caFile->Holds(root)) {
      throw Error(NotTrusted(where, ChainProblem(systemStatus) +
                                        " and it ends in no CA of the file " +
                                        caFile->name()));
    }
    if (fileStatus != 0) throw Error(NotTrusted(where, ChainProblem(fileStatus)));
  }
  std::vector<unsigned char> address = AddressBytes(host);
  CheckSslPolicy(chain.get(), host, !address.empty(), where);
  if (!address.empty() && !NamesAddress(certificate, address)) {
    throw Error("the certificate of " + where + " is not for the address " + host);
  }
}

}  // namespace getmail::win32
