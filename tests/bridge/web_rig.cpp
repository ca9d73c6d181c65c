#include "bridge/web_rig.h"

#include <arpa/inet.h>
#include <crypt.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "bridge/bridge_rig.h"

namespace bridgetest {

bool MakeCertificate(const std::string& folder, const std::string& name, const std::string& cn,
                     const std::string& ip) {
    const std::string base = folder + "/" + name;
    const ProgramResult r = RunWithInput(
        "/usr/bin/openssl",
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
         "-subj", "/CN=" + cn, "-addext", "subjectAltName=IP:" + ip, "-keyout", base + ".key", "-out", base + ".crt"},
        "");
    return r.exitCode == 0;
}

std::string BcryptHash(const std::string& password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$2b$", 4, nullptr, 0, salt, sizeof salt)) return {};
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_r(password.c_str(), salt, data.get());
    return hash ? hash : "";
}

std::optional<HttpsAnswer> HttpsGet(const std::string& ip, uint16_t port, const std::string& path,
                                    const std::string& user, const std::string& password) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
    std::optional<HttpsAnswer> answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && SSL_set_fd(ssl.get(), fd) == 1 &&
        SSL_connect(ssl.get()) == 1) {
        answer.emplace();
        if (X509* cert = SSL_get1_peer_certificate(ssl.get())) {
            char cn[256] = "";
            X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
            answer->commonName = cn;
            X509_free(cert);
        }
        std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + ip + "\r\nConnection: close\r\n";
        if (!user.empty()) {
            const std::string pair = user + ":" + password;
            std::string encoded(4 * ((pair.size() + 2) / 3) + 1, '\0');
            encoded.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                           reinterpret_cast<const unsigned char*>(pair.data()), int(pair.size())));
            request += "Authorization: Basic " + encoded + "\r\n";
        }
        request += "\r\n";
        SSL_write(ssl.get(), request.data(), int(request.size()));
        std::string text;
        char buffer[4096];
        for (int n; (n = SSL_read(ssl.get(), buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
        if (text.rfind("HTTP/1.1 ", 0) == 0) answer->status = std::atoi(text.c_str() + 9);
        if (const size_t body = text.find("\r\n\r\n"); body != std::string::npos) answer->body = text.substr(body + 4);
        SSL_shutdown(ssl.get());
    }
    ::close(fd);
    return answer;
}

}  // namespace bridgetest
