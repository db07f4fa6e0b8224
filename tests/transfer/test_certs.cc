#include "transfer/test_certs.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>

namespace qnmuro::test {
namespace {

constexpr long kDay = 24 * 60 * 60;

void Check(bool ok) {
  if (!ok) std::abort();
}

void WritePem(const std::filesystem::path& file, X509* cert, EVP_PKEY* key) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  Check(f != nullptr);
  if (cert != nullptr) Check(PEM_write_X509(f, cert) == 1);
  if (key != nullptr) Check(PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr));
  std::fclose(f);
}

template <class T, class F>
T* ReadPem(const std::string& file, F read) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  Check(f != nullptr);
  T* out = read(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  Check(out != nullptr);
  return out;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509* NewCert(EVP_PKEY* key, const std::string& cn, long from, long to, long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), from);
  X509_gmtime_adj(X509_getm_notAfter(cert), to);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  return cert;
}

}  // namespace

PemPair MakeCa(const std::filesystem::path& dir, const std::string& name) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  Check(key != nullptr);
  X509* cert = NewCert(key, name, -kDay, 365 * kDay, 1);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
  Check(X509_sign(cert, key, EVP_sha256()) > 0);
  PemPair out{(dir / (name + ".pem")).string(), (dir / (name + ".key")).string()};
  WritePem(out.cert, cert, nullptr);
  WritePem(out.key, nullptr, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return out;
}

PemPair MakeServerCert(const std::filesystem::path& dir, const std::string& file_stem,
                       const PemPair& ca, const std::string& host_name, int not_before_days,
                       int not_after_days) {
  X509* ca_cert = ReadPem<X509>(ca.cert, PEM_read_X509);
  EVP_PKEY* ca_key = ReadPem<EVP_PKEY>(ca.key, PEM_read_PrivateKey);
  EVP_PKEY* key = EVP_EC_gen("P-256");
  Check(key != nullptr);
  X509* cert = NewCert(key, host_name, not_before_days * kDay, not_after_days * kDay,
                       static_cast<long>(std::rand() % 100000 + 2));
  X509_set_issuer_name(cert, X509_get_subject_name(ca_cert));
  AddExtension(cert, ca_cert, NID_subject_alt_name, ("DNS:" + host_name).c_str());
  AddExtension(cert, ca_cert, NID_basic_constraints, "CA:FALSE");
  Check(X509_sign(cert, ca_key, EVP_sha256()) > 0);
  PemPair out{(dir / (file_stem + ".pem")).string(), (dir / (file_stem + ".key")).string()};
  WritePem(out.cert, cert, nullptr);
  WritePem(out.key, nullptr, key);
  X509_free(cert);
  X509_free(ca_cert);
  EVP_PKEY_free(ca_key);
  EVP_PKEY_free(key);
  return out;
}

}  // namespace qnmuro::test
