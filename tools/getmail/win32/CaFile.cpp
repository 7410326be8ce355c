#include "tools/getmail/win32/CaFile.h"

#include <cstring>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail::win32 {
namespace {

constexpr wchar_t kVariable[] = L"QUARROW_GETMAIL_CAFILE";
constexpr const char* kVariableName = "QUARROW_GETMAIL_CAFILE";
// A CA file is a few kilobytes; the system's whole bundle is under 1 MiB.
constexpr std::size_t kMaxFileSize = 8u << 20;

constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kEnd = "-----END CERTIFICATE-----";

std::wstring VariableValue() {
  DWORD length = GetEnvironmentVariableW(kVariable, nullptr, 0);
  if (length == 0) return std::wstring();
  std::wstring value(length, L'\0');
  length = GetEnvironmentVariableW(kVariable, &value[0], length);
  value.resize(length);
  return value;
}

std::string ReadWholeFile(const std::wstring& path, const std::string& name) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw Error("cannot open the CA file " + name + " (" + kVariableName +
                "): " + ErrorText(GetLastError()));
  }
  std::string text;
  char piece[16 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, piece, sizeof piece, &got, nullptr)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      throw Error("cannot read the CA file " + name + " (" + kVariableName +
                  "): " + ErrorText(error));
    }
    if (got == 0) break;
    if (text.size() + got > kMaxFileSize) {
      CloseHandle(file);
      throw Error("the CA file " + name + " (" + kVariableName +
                  ") is larger than 8 MiB");
    }
    text.append(piece, got);
  }
  CloseHandle(file);
  return text;
}

}  // namespace

std::vector<std::string_view> PemCertificateBlocks(std::string_view pem) {
  std::vector<std::string_view> blocks;
  std::size_t pos = 0;
  for (;;) {
    std::size_t begin = pem.find(kBegin, pos);
    if (begin == std::string_view::npos) break;
    std::size_t end = pem.find(kEnd, begin + kBegin.size());
    if (end == std::string_view::npos) break;
    end += kEnd.size();
    blocks.push_back(pem.substr(begin, end - begin));
    pos = end;
  }
  return blocks;
}

std::unique_ptr<CaFile> CaFile::FromEnvironment() {
  std::wstring path = VariableValue();
  if (path.empty()) return nullptr;
  std::string name = Narrow(path);
  std::string text = ReadWholeFile(path, name);

  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0,
                                   CERT_STORE_CREATE_NEW_FLAG, nullptr);
  if (store == nullptr) {
    throw Error("cannot make a certificate store for the CA file " + name + ": " +
                ErrorText(GetLastError()));
  }
  std::unique_ptr<CaFile> caFile(new CaFile(name, store));
  std::vector<std::string_view> blocks = PemCertificateBlocks(text);
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    std::string_view block = blocks[k];
    DWORD size = 0;
    std::string der;
    bool decoded =
        CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                             nullptr) &&
        size > 0;
    if (decoded) {
      der.resize(size);
      decoded = CryptStringToBinaryA(
          block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
          reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr);
    }
    if (!decoded ||
        !CertAddEncodedCertificateToStore(
            store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
            CERT_STORE_ADD_USE_EXISTING, nullptr)) {
      throw Error("the CA file " + name + " (" + kVariableName +
                  ") holds a certificate that cannot be read (certificate " +
                  std::to_string(k + 1) + ")");
    }
  }
  if (blocks.empty()) {
    throw Error("the CA file " + name + " (" + kVariableName +
                ") holds no certificate");
  }
  return caFile;
}

CaFile::~CaFile() { CertCloseStore(store_, 0); }

bool CaFile::Holds(PCCERT_CONTEXT certificate) const {
  bool found = false;
  PCCERT_CONTEXT each = nullptr;
  while (!found && (each = CertEnumCertificatesInStore(store_, each)) != nullptr) {
    found = each->cbCertEncoded == certificate->cbCertEncoded &&
            std::memcmp(each->pbCertEncoded, certificate->pbCertEncoded,
                        certificate->cbCertEncoded) == 0;
  }
  if (each != nullptr) CertFreeCertificateContext(each);
  return found;
}

}  // namespace getmail::win32
