// Throwaway certificates and keys for the TLS tests, made with OpenSSL the first time they are
// asked for and written as PEM files into a private temporary directory, which is removed when the
// test process ends. Nothing here is ever trusted outside the tests.
#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace corvane_test {

struct test_pki {
  std::filesystem::path directory;
  // The CA that signed both server certificates.
  std::string ca_file;
  // A CA that signed nothing the test servers present.
  std::string unknown_ca_file;
  // A server certificate for the name localhost (its only subject alternative name) and its key.
  std::string localhost_chain;
  std::string localhost_key;
  // A server certificate for the name other.test and its key.
  std::string other_chain;
  std::string other_key;
  // A key of the same kind as the certificates' keys that belongs to none of them.
  std::string mismatched_key;
  // A key of another kind (Ed25519) than the certificates' keys (P-256).
  std::string foreign_key;
};

namespace pki_detail {

using key_pointer = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using certificate_pointer = std::unique_ptr<X509, decltype(&X509_free)>;

inline void require(bool done, const char* what) {
  if (!done) throw std::runtime_error(std::string("test PKI: ") + what);
}

inline key_pointer p256_key() {
  key_pointer key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  require(key != nullptr, "P-256 key");
  return key;
}

inline key_pointer ed25519_key() {
  key_pointer key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free);
  require(key != nullptr, "Ed25519 key");
  return key;
}

inline void add_extension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  require(extension != nullptr, "certificate extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A CA certificate when `issuer` is null (self-signed), otherwise a server certificate for the DNS
// name, signed by the issuer.
inline certificate_pointer certificate(EVP_PKEY* key, const char* name, X509* issuer,
                                       EVP_PKEY* issuer_key, long serial) {
  certificate_pointer made(X509_new(), &X509_free);
  X509* certificate = made.get();
  X509_set_version(certificate, X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 7L * 24 * 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
  if (issuer == nullptr) {
    X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
    add_extension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE");
    add_extension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    X509_set_issuer_name(certificate, X509_get_subject_name(issuer));
    const std::string alternative = std::string("DNS:") + name;
    add_extension(certificate, issuer, NID_basic_constraints, "critical,CA:FALSE");
    add_extension(certificate, issuer, NID_subject_alt_name, alternative.c_str());
    add_extension(certificate, issuer, NID_ext_key_usage, "serverAuth");
  }
  require(X509_sign(certificate, issuer_key ? issuer_key : key, EVP_sha256()) > 0, "signature");
  return made;
}

inline void write_file(const std::string& path, X509* certificate, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  require(file != nullptr, "open a PEM file");
  const bool written =
      certificate ? PEM_write_X509(file, certificate) == 1
                  : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  std::fclose(file);
  require(written, "write a PEM file");
}

// The files of a test PKI, removed with their directory when the process ends.
struct pki_files {
  test_pki paths;

  pki_files() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-tls-XXXXXX").string();
    require(::mkdtemp(pattern.data()) != nullptr, "temporary directory");
    paths.directory = pattern;
    auto file = [this](const char* name) { return (paths.directory / name).string(); };

    auto ca_key = p256_key();
    auto ca = certificate(ca_key.get(), "corvane test CA", nullptr, nullptr, 1);
    auto unknown_ca_key = p256_key();
    auto unknown_ca = certificate(unknown_ca_key.get(), "corvane unknown CA", nullptr, nullptr, 2);
    auto localhost_key = p256_key();
    auto localhost = certificate(localhost_key.get(), "localhost", ca.get(), ca_key.get(), 3);
    auto other_key = p256_key();
    auto other = certificate(other_key.get(), "other.test", ca.get(), ca_key.get(), 4);

    paths.ca_file = file("ca.pem");
    write_file(paths.ca_file, ca.get(), nullptr);
    paths.unknown_ca_file = file("unknown-ca.pem");
    write_file(paths.unknown_ca_file, unknown_ca.get(), nullptr);
    paths.localhost_chain = file("localhost.pem");
    write_file(paths.localhost_chain, localhost.get(), nullptr);
    paths.localhost_key = file("localhost-key.pem");
    write_file(paths.localhost_key, nullptr, localhost_key.get());
    paths.other_chain = file("other.pem");
    write_file(paths.other_chain, other.get(), nullptr);
    paths.other_key = file("other-key.pem");
    write_file(paths.other_key, nullptr, other_key.get());
    paths.mismatched_key = file("mismatched-key.pem");
    write_file(paths.mismatched_key, nullptr, p256_key().get());
    paths.foreign_key = file("foreign-key.pem");
    write_file(paths.foreign_key, nullptr, ed25519_key().get());
  }
  pki_files(const pki_files&) = delete;
  pki_files& operator=(const pki_files&) = delete;
  ~pki_files() {
    std::error_code ignored;
    std::filesystem::remove_all(paths.directory, ignored);
  }
};

}  // namespace pki_detail

// The process's test PKI, made on first use.
inline const test_pki& pki() {
  static const pki_detail::pki_files files;
  return files.paths;
}

// A path in the test PKI's directory that no file has yet; each call gives a new one.
inline std::string fresh_path(const std::string& stem) {
  static int counter = 0;
  return (pki().directory / (stem + "-" + std::to_string(++counter) + ".pem")).string();
}

}  // namespace corvane_test
