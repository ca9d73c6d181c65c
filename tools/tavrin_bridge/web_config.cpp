#include "tools/tavrin_bridge/web_config.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <yaml-cpp/yaml.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

// The keys the file may hold, by section.
const char* const kTopKeys[] = {"tls_server_config", "basic_auth_users"};
const char* const kTlsKeys[] = {"cert_file", "key_file"};

struct Reader {
    std::string file;
    std::string* error;

    bool Fail(const std::string& key, const std::string& what) const {
        *error = file + ": " + (key.empty() ? "" : key + ": ") + what;
        return false;
    }
    // A mapping whose keys are all among `known`.
    template <size_t N>
    bool KnownKeys(const YAML::Node& map, const std::string& where, const char* const (&known)[N]) const {
        if (!map.IsMap()) return Fail(where, "not a mapping");
        for (const auto& item : map) {
            const std::string key = item.first.Scalar();
            bool found = false;
            for (const char* k : known) found = found || key == k;
            if (!found) return Fail(where.empty() ? key : where + "." + key, "unknown key");
        }
        return true;
    }
    // A path relative to the file's folder, as the file gives it.
    std::string Beside(const std::string& path) const {
        if (path.empty() || path[0] == '/') return path;
        const size_t slash = file.rfind('/');
        return slash == std::string::npos ? path : file.substr(0, slash + 1) + path;
    }
};

std::string OpenSslError() {
    char text[256] = "";
    unsigned long code = 0;
    for (unsigned long e; (e = ERR_get_error()) != 0;) code = e;
    if (code == 0) return "not usable";
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// "$2a$", "$2b$" or "$2y$", a two-digit cost, "$", 53 characters of bcrypt's alphabet.
bool BcryptForm(const std::string& hash) {
    if (hash.size() != 60 || hash.compare(0, 2, "$2") != 0 || std::strchr("aby", hash[2]) == nullptr ||
        hash[3] != '$' || !std::isdigit(static_cast<unsigned char>(hash[4])) ||
        !std::isdigit(static_cast<unsigned char>(hash[5])) || hash[6] != '$')
        return false;
    for (size_t i = 7; i < hash.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(hash[i])) && hash[i] != '.' && hash[i] != '/') return false;
    return true;
}

bool ReadTls(const Reader& r, const YAML::Node& node, WebState& state) {
    if (!r.KnownKeys(node, "tls_server_config", kTlsKeys)) return false;
    std::string paths[2];
    for (int i = 0; i < 2; ++i) {
        const std::string key = std::string("tls_server_config.") + kTlsKeys[i];
        const YAML::Node value = node[kTlsKeys[i]];
        if (!value || !value.IsScalar() || value.Scalar().empty()) return r.Fail(key, "missing");
        paths[i] = r.Beside(value.Scalar());
        if (!std::ifstream(paths[i]).good()) return r.Fail(key, paths[i] + ": " + std::strerror(errno));
    }
    ERR_clear_error();
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!ctx) return r.Fail("tls_server_config", OpenSslError());
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(ctx.get(), paths[0].c_str()) != 1)
        return r.Fail("tls_server_config.cert_file", paths[0] + ": " + OpenSslError());
    if (SSL_CTX_use_PrivateKey_file(ctx.get(), paths[1].c_str(), SSL_FILETYPE_PEM) != 1)
        return r.Fail("tls_server_config.key_file", paths[1] + ": " + OpenSslError());
    if (SSL_CTX_check_private_key(ctx.get()) != 1)
        return r.Fail("tls_server_config.key_file", paths[1] + ": not the key of cert_file");
    state.tls = std::move(ctx);
    return true;
}

bool ReadUsers(const Reader& r, const YAML::Node& node, WebState& state) {
    if (node.IsNull()) return true;
    if (!node.IsMap()) return r.Fail("basic_auth_users", "not a mapping");
    for (const auto& item : node) {
        const std::string user = item.first.Scalar();
        const std::string key = "basic_auth_users." + user;
        if (user.empty() || user.find(':') != std::string::npos) return r.Fail(key, "not a user name");
        if (!item.second.IsScalar() || !BcryptForm(item.second.Scalar())) return r.Fail(key, "not a bcrypt hash");
        state.users[user] = item.second.Scalar();
    }
    return true;
}

std::string Base64Decoded(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        const size_t v = alphabet.find(c);
        if (v == std::string::npos) return {};
        bits = (bits << 6) | unsigned(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<const WebState> LoadWebConfig(const std::string& path, std::string* error) {
    const Reader r{path, error};
    std::ifstream in(path);
    if (!in) {
        r.Fail("", std::strerror(errno));
        return nullptr;
    }
    std::stringstream text;
    text << in.rdbuf();
    YAML::Node root;
    try {
        root = YAML::Load(text.str());
    } catch (const YAML::Exception& e) {
        r.Fail("", "line " + std::to_string(e.mark.line + 1) + ": " + e.msg);
        return nullptr;
    }
    auto state = std::make_shared<WebState>();
    if (root.IsNull()) return state;   // an empty file: plain HTTP, no passwords
    if (!r.KnownKeys(root, "", kTopKeys)) return nullptr;
    try {
        if (root["tls_server_config"] && !ReadTls(r, root["tls_server_config"], *state)) return nullptr;
        if (root["basic_auth_users"] && !ReadUsers(r, root["basic_auth_users"], *state)) return nullptr;
    } catch (const YAML::Exception& e) {
        r.Fail("", "line " + std::to_string(e.mark.line + 1) + ": " + e.msg);
        return nullptr;
    }
    return state;
}

bool PasswordMatches(const std::string& hash, const std::string& password) {
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
    return result != nullptr && std::strlen(result) == hash.size() &&
           CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
}

bool Authorized(const WebState& state, const std::string& header) {
    if (state.users.empty()) return true;
    const std::string scheme = "Basic ";
    if (header.compare(0, scheme.size(), scheme) != 0) return false;
    const std::string pair = Base64Decoded(header.substr(scheme.size()));
    const size_t colon = pair.find(':');
    if (colon == std::string::npos) return false;
    const auto user = state.users.find(pair.substr(0, colon));
    return user != state.users.end() && PasswordMatches(user->second, pair.substr(colon + 1));
}
