// The extra CAs named by QUARROW_GETMAIL_CAFILE: every certificate block of
// the PEM file, in a memory certificate store.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace getmail::win32 {

// The base64 text of each "CERTIFICATE" block in `pem`, header lines
// included, in file order. Blocks of other kinds are left out.
std::vector<std::string_view> PemCertificateBlocks(std::string_view pem);

class CaFile {
 public:
  // The file the variable names, or null when it is unset or empty. Throws
  // Error when the file cannot be read or holds no readable certificate.
  static std::unique_ptr<CaFile> FromEnvironment();
  ~CaFile();
  CaFile(const CaFile&) = delete;
  CaFile& operator=(const CaFile&) = delete;

  // The file's certificates.
  HCERTSTORE store() const { return store_; }
  // Whether `certificate` is, byte for byte, one of the file's.
  bool Holds(PCCERT_CONTEXT certificate) const;
  // The file's name, for messages.
  const std::string& name() const { return name_; }

 private:
  CaFile(std::string name, HCERTSTORE store) : name_(std::move(name)), store_(store) {}

  std::string name_;
  HCERTSTORE store_;
};

}  // namespace getmail::win32
