// The metrics listener's web configuration: files checked whole with errors
// that name the file and the key, and a real bridge that serves its metrics
// over TLS to users with the right password only, and takes a new
// certificate and new users on SIGHUP.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "bridge/bridge_rig.h"
#include "bridge/web_rig.h"
#include "tools/tavrin_bridge/web_config.h"

using namespace bridgetest;

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// A configuration with the certificate NAME.crt/.key of `folder` and one user.
std::string TlsConfig(const std::string& name, const std::string& user, const std::string& password) {
    return "tls_server_config:\n  cert_file: " + name + ".crt\n  key_file: " + name +
           ".key\nbasic_auth_users:\n  " + user + ": " + BcryptHash(password) + "\n";
}

}  // namespace

TEST(WebConfig, IsCheckedWholeAndErrorsNameTheFileAndKey) {
    testsupport::TempFolder folder("tavrin-web");
    ASSERT_TRUE(MakeCertificate(folder.Path(), "one", "one", "127.0.0.1"));
    ASSERT_TRUE(MakeCertificate(folder.Path(), "two", "two", "127.0.0.1"));
    const std::string hash = BcryptHash("secret");
    struct Row {
        const char* what;
        std::string text;
        std::string error;   // the message after the file's name begins so; "" when the file is good
    };
    const Row rows[] = {
        {"TLS and a user", TlsConfig("one", "prom", "secret"), ""},
        {"users only", "basic_auth_users:\n  prom: " + hash + "\n", ""},
        {"empty", "", ""},
        {"not YAML", "tls_server_config: [a\n", "line "},
        {"unknown key", "basic_auth_user:\n  prom: " + hash + "\n", "basic_auth_user: unknown key"},
        {"unknown TLS key", "tls_server_config:\n  cert_file: one.crt\n  key_file: one.key\n  client_ca_file: x\n",
         "tls_server_config.client_ca_file: unknown key"},
        {"no key file", "tls_server_config:\n  cert_file: one.crt\n", "tls_server_config.key_file: missing"},
        {"no cert file", "tls_server_config:\n  cert_file: gone.crt\n  key_file: one.key\n",
         "tls_server_config.cert_file: " + folder.File("gone.crt") + ": No such file"},
        {"key as cert", "tls_server_config:\n  cert_file: one.key\n  key_file: one.key\n",
         "tls_server_config.cert_file: " + folder.File("one.key") + ": "},
        {"another's key", "tls_server_config:\n  cert_file: one.crt\n  key_file: two.key\n",
         "tls_server_config.key_file: " + folder.File("two.key") + ": "},
        {"plain password", "basic_auth_users:\n  prom: secret\n", "basic_auth_users.prom: not a bcrypt hash"},
        {"users as a list", "basic_auth_users:\n  - prom\n", "basic_auth_users: not a mapping"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Write(folder.File("web.yml"), row.text);
        std::string error;
        const auto state = LoadWebConfig(folder.File("web.yml"), &error);
        if (row.error.empty()) {
            EXPECT_TRUE(state) << error;
            continue;
        }
        EXPECT_FALSE(state);
        EXPECT_EQ(error.rfind(folder.File("web.yml") + ": " + row.error, 0), 0u) << error;
    }
    std::string error;
    EXPECT_FALSE(LoadWebConfig(folder.File("none.yml"), &error));
    EXPECT_EQ(error, folder.File("none.yml") + ": No such file or directory");
}

TEST(WebConfig, PasswordsAreCheckedAgainstTheirHashes) {
    WebState state;
    state.users["prom"] = BcryptHash("secret");
    const struct {
        const char* header;
        bool authorized;
    } rows[] = {
        {"Basic cHJvbTpzZWNyZXQ=", true},     // prom:secret
        {"Basic cHJvbTpzZWNyZXQx", false},    // prom:secret1
        {"Basic b3RoZXI6c2VjcmV0", false},    // other:secret
        {"Bearer cHJvbTpzZWNyZXQ=", false},
        {"Basic cHJvbXNlY3JldA==", false},    // promsecret
        {"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(Authorized(state, row.header), row.authorized) << row.header;
    EXPECT_TRUE(Authorized(WebState{}, ""));
}

TEST(BridgeWeb, ServesMetricsOverTlsToTheRightPasswordOnly) {
    BridgeRig rig;
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "one", "one", rig.ip));
    Write(rig.folder.File("web.yml"), TlsConfig("one", "prom", "secret"));
    rig.options.extraArgs = {"--web-config", rig.folder.File("web.yml")};
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();

    const auto right = HttpsGet(rig.ip, kMetricsPort, "/metrics", "prom", "secret");
    ASSERT_TRUE(right);
    EXPECT_EQ(right->status, 200);
    EXPECT_NE(right->body.find("tavrin_"), std::string::npos);
    const struct {
        const char* user;
        const char* password;
    } refused[] = {{"prom", "wrong"}, {"other", "secret"}, {"", ""}};
    for (const auto& row : refused) {
        const auto answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", row.user, row.password);
        ASSERT_TRUE(answer) << row.user;
        EXPECT_EQ(answer->status, 401) << row.user << ":" << row.password;
        EXPECT_EQ(answer->body.find("tavrin_"), std::string::npos);
    }
    EXPECT_FALSE(HttpGet(rig.ip, kMetricsPort, "/metrics")) << "plain HTTP to the TLS port";
    EXPECT_NE(rig.bridge.Err().find("metrics on https://"), std::string::npos) << rig.bridge.Err();
}

TEST(BridgeWeb, SighupTakesANewCertificateAndNewUsers) {
    BridgeRig rig;
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "one", "first", rig.ip));
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "two", "second", rig.ip));
    Write(rig.folder.File("web.yml"), TlsConfig("one", "prom", "secret"));
    rig.options.extraArgs = {"--web-config", rig.folder.File("web.yml")};
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    auto answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", "prom", "secret");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->commonName, "first");

    // A broken file: the bridge says so and keeps serving as before.
    Write(rig.folder.File("web.yml"), "tls_server_config:\n  cert_file: two.crt\n");
    ::kill(rig.bridge.Pid(), SIGHUP);
    for (int i = 0; i < 100 && rig.bridge.Err().find("stays as it was") == std::string::npos; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_NE(rig.bridge.Err().find(rig.folder.File("web.yml") + ": tls_server_config.key_file: missing"),
              std::string::npos)
        << rig.bridge.Err();
    answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", "prom", "secret");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->commonName, "first");
    EXPECT_EQ(answer->status, 200);

    Write(rig.folder.File("web.yml"), TlsConfig("two", "scraper", "other"));
    ::kill(rig.bridge.Pid(), SIGHUP);
    for (int i = 0; i < 100 && answer && answer->commonName != "second"; ++i) {
        std::this_thread::sleep_for(50ms);
        answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", "scraper", "other");
    }
    ASSERT_TRUE(answer) << rig.bridge.Err();
    EXPECT_EQ(answer->commonName, "second");
    EXPECT_EQ(answer->status, 200);
    answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", "prom", "secret");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 401);
    EXPECT_TRUE(rig.bridge.Running());
    EXPECT_EQ(rig.bridge.Stop(), 0);
}

TEST(BridgeWeb, CheckConfigChecksTheOptionsAndTheFileThenExits) {
    testsupport::TempFolder folder("tavrin-web");
    Write(folder.File("good.yml"), "basic_auth_users:\n  prom: " + BcryptHash("secret") + "\n");
    Write(folder.File("bad.yml"), "basic_auth_users:\n  prom: secret\n");
    const std::vector<std::string> unit = {"--serial", folder.File("no-such-unit"), "--check-config"};
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string text;
    } rows[] = {
        {{"--metrics", "127.0.0.1:9464", "--web-config", folder.File("good.yml")}, 0, "configuration OK"},
        {{"--metrics", "127.0.0.1:9464"}, 0, "configuration OK"},
        {{"--metrics", "127.0.0.1:9464", "--web-config", folder.File("bad.yml")}, 1,
         folder.File("bad.yml") + ": basic_auth_users.prom: not a bcrypt hash"},
        {{"--web-config", folder.File("good.yml")}, 2, "--web-config needs --metrics"},
        {{"--metrics", "nowhere"}, 2, "--metrics nowhere"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = unit;
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ProgramResult r = RunWithInput(BinPath("tavrin_bridge"), args, "");
        EXPECT_EQ(r.exitCode, row.exitCode) << r.out;
        EXPECT_NE(r.out.find(row.text), std::string::npos) << r.out;
    }
}
