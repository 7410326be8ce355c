// HTTPS to OAuth 2.0 endpoints through WinHTTP. The server's certificate is
// checked by the same code as the POP3 connection's (VerifyServerCertificate,
// with the CAs of QUARROW_GETMAIL_CAFILE), after the handshake and before
// the request's body, which holds the codes and tokens, is sent.
#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HttpClient.h"
#include "tools/getmail/win32/CaFile.h"
#include "tools/getmail/win32/CertificateCheck.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

struct Handle {
  HINTERNET handle = nullptr;
  ~Handle() {
    if (handle != nullptr) WinHttpCloseHandle(handle);
  }
};

Error Failure(const std::string& url, const char* step) {
  return Error("cannot reach the OAuth 2.0 endpoint " + url + " (" + step + "): " +
               win32::ErrorText(GetLastError()));
}

}  // namespace

HttpResponse HttpExchange(const std::string& url, const FormFields* form,
                          std::chrono::milliseconds timeout) {
  CheckEndpointUrl(url);
  std::unique_ptr<win32::CaFile> caFile = win32::CaFile::FromEnvironment();
  const std::wstring wideUrl = win32::Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) throw Failure(url, "its address");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  Handle session, connection, request;
  session.handle = WinHttpOpen(L"getmail (Quarrow)", WINHTTP_ACCESS_TYPE_NO_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session.handle == nullptr) throw Failure(url, "WinHTTP");
  const int wait = static_cast<int>(timeout.count());
  WinHttpSetTimeouts(session.handle, wait, wait, wait, wait);
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
#ifdef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
  protocols |= WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
#endif
  WinHttpSetOption(session.handle, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  connection.handle = WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0);
  if (connection.handle == nullptr) throw Failure(url, "connecting");
  request.handle = WinHttpOpenRequest(connection.handle, form != nullptr ? L"POST" : L"GET",
                                      path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      secure ? WINHTTP_FLAG_SECURE : 0);
  if (request.handle == nullptr) throw Failure(url, "the request");
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request.handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  if (secure && caFile) {
    // A private CA is not one the system knows: the chain is checked below,
    // against the file, by our own code.
    DWORD relaxed = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_SECURITY_FLAGS, &relaxed, sizeof relaxed);
  }

  std::string body;
  if (form != nullptr) {
    for (const auto& [name, value] : *form) {
      body += (body.empty() ? "" : "&") + FormEncode(name) + "=" + FormEncode(value);
    }
  }
  const wchar_t* headers = form != nullptr
                               ? L"Accept: application/json\r\n"
                                 L"Content-Type: application/x-www-form-urlencoded\r\n"
                               : L"Accept: application/json\r\n";
  // The headers go first, with the body's length: its codes and tokens only
  // once the certificate is known to be good.
  if (!WinHttpSendRequest(request.handle, headers, static_cast<DWORD>(-1L),
                          WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(body.size()), 0)) {
    throw Failure(url, "sending");
  }
  if (secure) {
    PCCERT_CONTEXT certificate = nullptr;
    DWORD size = sizeof certificate;
    if (!WinHttpQueryOption(request.handle, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate,
                            &size) ||
        certificate == nullptr) {
      throw Failure(url, "its certificate");
    }
    std::unique_ptr<const CERT_CONTEXT, decltype(&CertFreeCertificateContext)> owned(
        certificate, CertFreeCertificateContext);
    win32::VerifyServerCertificate(certificate, win32::Narrow(host), caFile.get(), url, timeout);
  }
  DWORD written = 0;
  if (!body.empty() &&
      !WinHttpWriteData(request.handle, body.data(), static_cast<DWORD>(body.size()), &written)) {
    throw Failure(url, "sending");
  }
  if (!WinHttpReceiveResponse(request.handle, nullptr)) throw Failure(url, "its answer");

  HttpResponse response;
  DWORD status = 0, statusSize = sizeof status;
  WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
  response.status = static_cast<long>(status);
  for (;;) {
    char buffer[8192];
    DWORD got = 0;
    if (!WinHttpReadData(request.handle, buffer, sizeof buffer, &got)) {
      throw Failure(url, "its answer");
    }
    if (got == 0) break;
    if (response.body.size() + got > kHttpBodyLimit) {
      throw Error("the OAuth 2.0 endpoint " + url + " sent an answer longer than " +
                  std::to_string(kHttpBodyLimit / 1024) + " KiB");
    }
    response.body.append(buffer, got);
  }
  return response;
}

}  // namespace getmail
