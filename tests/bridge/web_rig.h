// The pieces of the metrics listener's web configuration for tests: a
// self-signed certificate made with the openssl command, bcrypt hashes made
// with crypt(), and an HTTPS client on OpenSSL that shows the certificate.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace bridgetest {

// `folder`/NAME.crt and NAME.key: a certificate for `ip` whose subject's
// common name is `cn`. False when openssl failed.
bool MakeCertificate(const std::string& folder, const std::string& name, const std::string& cn,
                     const std::string& ip);
// A bcrypt hash of `password` (the cheapest cost, for speed).
std::string BcryptHash(const std::string& password);

struct HttpsAnswer {
    int status = 0;
    std::string body;
    std::string commonName;   // of the server's certificate
};
// GET https://ip:port/path, with a user and password when `user` is given;
// nothing when no TLS connection came about. The certificate is not checked.
std::optional<HttpsAnswer> HttpsGet(const std::string& ip, uint16_t port, const std::string& path,
                                    const std::string& user = "", const std::string& password = "");

}  // namespace bridgetest
