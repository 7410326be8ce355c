// HTTPS to OAuth 2.0 endpoints through libcurl (with OpenSSL, as the POP3
// connection), verifying as the POP3 connection does.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <memory>

#include "tools/getmail/Errors.h"
#include "tools/getmail/HttpClient.h"
#include "tools/getmail/ServerText.h"
#include "tools/getmail/Settings.h"

namespace getmail {
namespace {

struct Received {
  std::string body;
  bool tooLong = false;
};

size_t TakeBody(char* data, size_t size, size_t count, void* user) {
  auto* received = static_cast<Received*>(user);
  const size_t bytes = size * count;
  if (received->body.size() + bytes > kHttpBodyLimit) {
    received->tooLong = true;
    return 0;  // ends the transfer
  }
  received->body.append(data, bytes);
  return bytes;
}

// The system's trusted CAs stay in force: the extra file is added to them
// rather than put in their place (CURLOPT_CAINFO would replace them).
CURLcode AddExtraCas(CURL*, void* sslContext, void* caFile) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  if (X509_STORE_load_locations(store, static_cast<const char*>(caFile), nullptr) != 1) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpResponse HttpExchange(const std::string& url, const FormFields* form,
                          std::chrono::milliseconds timeout) {
  CheckEndpointUrl(url);
  static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (initialized != CURLE_OK) throw Error("cannot start libcurl");
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) throw Error("cannot start libcurl");
  CURL* c = curl.get();
  Received received;
  std::string body;
  if (form != nullptr) {
    for (const auto& [name, value] : *form) {
      body += (body.empty() ? "" : "&") + FormEncode(name) + "=" + FormEncode(value);
    }
  }
  std::unique_ptr<curl_slist, ListDeleter> headers(
      curl_slist_append(nullptr, "Accept: application/json"));
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https,http");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  const char* caFile = std::getenv(kCaFileVariable);
  if (caFile != nullptr && *caFile != '\0') {
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, AddExtraCas);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, const_cast<char*>(caFile));
  }
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(2 * timeout.count()));
  curl_easy_setopt(c, CURLOPT_USERAGENT, "getmail (Quarrow)");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, TakeBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &received);
  char detail[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
  if (form != nullptr) {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
  const CURLcode result = curl_easy_perform(c);
  if (received.tooLong) {
    throw Error("the OAuth 2.0 endpoint " + url + " sent an answer longer than " +
                std::to_string(kHttpBodyLimit / 1024) + " KiB");
  }
  // libcurl's own words say which check failed (the CA, the name, ...);
  // its code only that one did. They may quote the certificate's names,
  // which are the server's to choose.
  const std::string why = Shown(detail[0] != '\0' ? detail : curl_easy_strerror(result));
  if (result == CURLE_PEER_FAILED_VERIFICATION) {
    throw Error("cannot reach the OAuth 2.0 endpoint " + url +
                ": its certificate is not trusted: " + why +
                " (a private CA can be named in " + kCaFileVariable + ")");
  }
  if (result == CURLE_SSL_CACERT_BADFILE) {
    throw Error("cannot reach the OAuth 2.0 endpoint " + url + ": cannot load the CA file " +
                (caFile != nullptr ? caFile : "") + " (" + kCaFileVariable + ")");
  }
  if (result != CURLE_OK) {
    throw Error("cannot reach the OAuth 2.0 endpoint " + url + ": " + why);
  }
  HttpResponse response;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  response.body = std::move(received.body);
  return response;
}

}  // namespace getmail
