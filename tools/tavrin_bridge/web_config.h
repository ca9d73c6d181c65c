// The web configuration of the metrics listener, in the format Prometheus
// exporters read (--web-config FILE):
//
//   tls_server_config:          # optional: HTTPS instead of HTTP
//     cert_file: server.crt     # PEM, the chain after the certificate
//     key_file: server.key      # PEM; relative paths are beside FILE
//   basic_auth_users:           # optional: a password for every request
//     prometheus: $2y$10$...    # bcrypt hashes only
//
// The file is read and checked whole: the certificate and key loaded into a
// TLS context, every hash checked for its form. The TLS and the password
// checks are OpenSSL's and the C library's crypt().
#pragma once
#include <map>
#include <memory>
#include <string>

struct ssl_ctx_st;

struct WebState {
    std::shared_ptr<ssl_ctx_st> tls;            // none: plain HTTP
    std::map<std::string, std::string> users;   // user -> bcrypt hash; none: no password asked
};

// The state `path` describes, or nothing and `error` ("FILE: KEY: what is
// wrong").
std::shared_ptr<const WebState> LoadWebConfig(const std::string& path, std::string* error);

// True when `password` hashes to `hash` (bcrypt, by crypt()).
bool PasswordMatches(const std::string& hash, const std::string& password);

// True when `header` (an Authorization value, "Basic BASE64") names a user
// of `state` with the right password; always true when there are no users.
bool Authorized(const WebState& state, const std::string& header);
