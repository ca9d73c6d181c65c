// The metrics listener's web configuration: files checked whole with errors
// that name the file and the key, and a real bridge that serves its metrics
// over TLS to users with the right password only.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <thread>

#include "bridge/bridge_rig.h"
#include "bridge/web_rig.h"

using namespace bridgetest;

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// A configuration with the certificate NAME.crt/.key of `folder` and one user.
std::string TlsConfig(const std::string& name, const std::string& user, const std::string& password) {
    return "tls_server_config:\n  cert_file: " + name + ".crt\n  key_file: " + name +
           ".key\nbasic_auth_users:\n  " + user + ": " + BcryptHash(password) + "\n";
}

}  // namespace

// --check-config on each file: the file checked whole, the error naming it
// and the key at fault; the command line checked too.
TEST(BridgeWeb, CheckConfigChecksTheFileWholeAndTheOptions) {
    testsupport::TempFolder folder("tavrin-web");
    ASSERT_TRUE(MakeCertificate(folder.Path(), "one", "one", "127.0.0.1"));
    ASSERT_TRUE(MakeCertificate(folder.Path(), "two", "two", "127.0.0.1"));
    const std::string hash = BcryptHash("secret");
    const std::string file = folder.File("web.yml");
    struct Row {
        std::string text;
        int exitCode;
        std::string out;   // the output begins so, after "tavrin_bridge: "
    };
    const Row rows[] = {
        {TlsConfig("one", "prom", "secret"), 0, "configuration OK"},
        {"basic_auth_users:\n  prom: " + hash + "\n", 0, "configuration OK"},
        {"", 0, "configuration OK"},
        {"tls_server_config: [a\n", 1, file + ": line "},
        {"basic_auth_user:\n  prom: " + hash + "\n", 1, file + ": basic_auth_user: unknown key"},
        {"tls_server_config:\n  cert_file: one.crt\n  key_file: one.key\n  client_ca_file: x\n", 1,
         file + ": tls_server_config.client_ca_file: unknown key"},
        {"tls_server_config:\n  cert_file: one.crt\n", 1, file + ": tls_server_config.key_file: missing"},
        {"tls_server_config:\n  cert_file: gone.crt\n  key_file: one.key\n", 1,
         file + ": tls_server_config.cert_file: " + folder.File("gone.crt") + ": No such file"},
        {"tls_server_config:\n  cert_file: one.key\n  key_file: one.key\n", 1,
         file + ": tls_server_config.cert_file: " + folder.File("one.key") + ": "},
        {"tls_server_config:\n  cert_file: one.crt\n  key_file: two.key\n", 1,
         file + ": tls_server_config.key_file: " + folder.File("two.key") + ": "},
        {"basic_auth_users:\n  prom: secret\n", 1, file + ": basic_auth_users.prom: not a bcrypt hash"},
        {"basic_auth_users:\n  - prom\n", 1, file + ": basic_auth_users: not a mapping"},
    };
    const std::vector<std::string> args = {"--serial", folder.File("no-such-unit"), "--check-config",
                                           "--metrics", "127.0.0.1:9464", "--web-config", file};
    for (const Row& row : rows) {
        Write(file, row.text);
        const ProgramResult r = RunWithInput(BinPath("tavrin_bridge"), args, "");
        EXPECT_EQ(r.exitCode, row.exitCode) << row.text;
        EXPECT_EQ(r.out.rfind("tavrin_bridge: " + row.out, 0), 0u) << row.text << r.out;
    }
    ::unlink(file.c_str());
    EXPECT_EQ(RunWithInput(BinPath("tavrin_bridge"), args, "").out,
              "tavrin_bridge: " + file + ": No such file or directory\n");
    // The alarm rules are checked at start too; a fault names its key.
    Write(file, R"({"rules": [{"alarm": "snr_low", "threshold": "low"}]})");
    const ProgramResult rules = RunWithInput(
        BinPath("tavrin_bridge"), {"--serial", folder.File("no-such-unit"), "--check-config", "--alarm-rules", file}, "");
    EXPECT_EQ(rules.exitCode, 1);
    EXPECT_EQ(rules.out, "tavrin_bridge: " + file + ": rules[0].threshold: must be a number\n");
    const ProgramResult noMetrics =
        RunWithInput(BinPath("tavrin_bridge"), {"--ip", "127.0.0.1", "--check-config", "--web-config", file}, "");
    EXPECT_EQ(noMetrics.exitCode, 2);
    EXPECT_NE(noMetrics.out.find("--web-config needs --metrics"), std::string::npos) << noMetrics.out;
}

// Metrics over TLS to the right password only; on SIGHUP a new certificate
// and new users, and a broken file leaves the old ones in force.
TEST(BridgeWeb, ServesOverTlsToTheRightPasswordOnlyAndReloadsOnSighup) {
    BridgeRig rig;
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "one", "first", rig.ip));
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "two", "second", rig.ip));
    Write(rig.folder.File("web.yml"), TlsConfig("one", "prom", "secret"));
    rig.options.extraArgs = {"--web-config", rig.folder.File("web.yml")};
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    auto answer = HttpsGet(rig.ip, kMetricsPort, "/metrics", "prom", "secret");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->commonName, "first");
    EXPECT_EQ(answer->status, 200);
    EXPECT_NE(answer->body.find("tavrin_"), std::string::npos);
    for (const auto& [user, password] : {std::pair{"prom", "wrong"}, {"other", "secret"}, {"", ""}}) {
        const auto refused = HttpsGet(rig.ip, kMetricsPort, "/metrics", user, password);
        ASSERT_TRUE(refused) << user;
        EXPECT_EQ(refused->status, 401) << user << ":" << password;
        EXPECT_EQ(refused->body.find("tavrin_"), std::string::npos);
    }
    EXPECT_FALSE(HttpGet(rig.ip, kMetricsPort, "/metrics")) << "plain HTTP to the TLS port";
    EXPECT_NE(rig.bridge.Err().find("metrics on https://"), std::string::npos) << rig.bridge.Err();

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
