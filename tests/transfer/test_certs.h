// Certificates made at test time: a CA and server certificates it signs, with chosen names and
// validity windows, written as PEM files.
#ifndef QNMURO_TESTS_TRANSFER_TEST_CERTS_H_
#define QNMURO_TESTS_TRANSFER_TEST_CERTS_H_

#include <filesystem>
#include <string>

namespace qnmuro::test {

struct PemPair {
  std::string cert;  // certificate file
  std::string key;   // private key file
};

// A self-signed CA called `name`, valid from yesterday for a year.
PemPair MakeCa(const std::filesystem::path& dir, const std::string& name);

// A server certificate for `host_name`, signed by `ca`, valid from now + not_before_days to
// now + not_after_days (negative: in the past).
PemPair MakeServerCert(const std::filesystem::path& dir, const std::string& file_stem,
                       const PemPair& ca, const std::string& host_name, int not_before_days,
                       int not_after_days);

}  // namespace qnmuro::test

#endif  // QNMURO_TESTS_TRANSFER_TEST_CERTS_H_
