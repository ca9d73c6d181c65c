// A real Prometheus server, started on a loopback address with a temporary
// configuration and data folder, scrapes two bridges in front of two
// simulated units; its HTTP API gives back each unit's SNR. Over TLS with a
// password from the bridge's web configuration, it scrapes with the right
// password and fails with a wrong one.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "bridge/bridge_rig.h"
#include "bridge/web_rig.h"
#include "platform/numbers.h"
#include "support/loopback.h"
#include "tools/tool_harness.h"

using namespace bridgetest;

namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";

// The value Prometheus reports for the series whose `label` is `value` in a
// query answer, read from its JSON.
std::optional<double> ValueOf(const std::string& answer, const std::string& value,
                              const std::string& label = "unit") {
    tooltest::Json doc;
    if (!tooltest::ParseJson(answer, doc) || doc["status"].text != "success") return std::nullopt;
    for (const tooltest::Json& r : doc["data"]["result"].items) {
        if (r["metric"][label].text != value) continue;
        return ParseDecimal(r["value"][1].text);
    }
    return std::nullopt;
}

}  // namespace

TEST(Prometheus, ScrapesTwoBridgesAndAnswersEachUnitsSnr) {
    if (access(kPrometheus, X_OK) != 0) GTEST_SKIP() << "no " << kPrometheus;
    RigOptions a, b;
    a.name = "unit-a";
    b.name = "unit-b";
    BridgeRig first(a), second(b);
    ASSERT_TRUE(first.Start()) << first.bridge.Err();
    ASSERT_TRUE(second.Start()) << second.bridge.Err();
    first.unit->SetValue("1snr", "21.5");
    second.unit->SetValue("1snr", "9.5");

    testsupport::TempFolder folder("tavrin-prom");
    {
        std::ofstream config(folder.File("prometheus.yml"));
        config << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
               << "scrape_configs:\n  - job_name: tavrin\n    static_configs:\n"
               << "      - targets: ['" << first.ip << ":" << kMetricsPort << "', '" << second.ip << ":"
               << kMetricsPort << "']\n";
    }
    const std::string ip = testsupport::RandomLoopbackAddress();
    Process prometheus;
    ASSERT_TRUE(prometheus.Start(kPrometheus, {"--config.file=" + folder.File("prometheus.yml"),
                                               "--storage.tsdb.path=" + folder.File("data"),
                                               "--web.listen-address=" + ip + ":9090"}));
    std::optional<double> snrA, snrB;
    const auto end = std::chrono::steady_clock::now() + 90s;
    while (std::chrono::steady_clock::now() < end && !(snrA == 21.5 && snrB == 9.5)) {
        std::this_thread::sleep_for(500ms);
        const std::optional<std::string> answer =
            HttpGet(ip, 9090, "/api/v1/query?query=tavrin_snr_db%7Binput%3D%22a%22%7D");
        if (!answer) continue;
        snrA = ValueOf(*answer, "unit-a");
        snrB = ValueOf(*answer, "unit-b");
    }
    EXPECT_EQ(snrA, 21.5) << prometheus.Err();
    EXPECT_EQ(snrB, 9.5) << prometheus.Err();
    EXPECT_EQ(prometheus.Stop(), 0);
}

TEST(Prometheus, ScrapesOverTlsWithThePasswordAndFailsWithAWrongOne) {
    if (access(kPrometheus, X_OK) != 0) GTEST_SKIP() << "no " << kPrometheus;
    RigOptions options;
    options.name = "unit-tls";
    BridgeRig rig(options);
    ASSERT_TRUE(MakeCertificate(rig.folder.Path(), "server", "bridge", rig.ip));
    std::ofstream(rig.folder.File("web.yml"))
        << "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n"
        << "basic_auth_users:\n  prometheus: " << BcryptHash("right horse") << "\n";
    rig.options.extraArgs = {"--web-config", rig.folder.File("web.yml")};
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    rig.unit->SetValue("1snr", "17.5");

    testsupport::TempFolder folder("tavrin-prom");
    {
        std::ofstream config(folder.File("prometheus.yml"));
        config << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\nscrape_configs:\n";
        for (const char* job : {"right", "wrong"})
            config << "  - job_name: " << job << "\n    scheme: https\n"
                   << "    tls_config:\n      ca_file: " << rig.folder.File("server.crt") << "\n"
                   << "    basic_auth:\n      username: prometheus\n      password: "
                   << (std::string(job) == "right" ? "right horse" : "wrong horse") << "\n"
                   << "    static_configs:\n      - targets: ['" << rig.ip << ":" << kMetricsPort << "']\n";
    }
    const std::string ip = testsupport::RandomLoopbackAddress();
    Process prometheus;
    ASSERT_TRUE(prometheus.Start(kPrometheus, {"--config.file=" + folder.File("prometheus.yml"),
                                               "--storage.tsdb.path=" + folder.File("data"),
                                               "--web.listen-address=" + ip + ":9090"}));
    std::optional<double> snr, rightUp, wrongUp;
    const auto end = std::chrono::steady_clock::now() + 90s;
    while (std::chrono::steady_clock::now() < end && !(snr == 17.5 && rightUp == 1 && wrongUp == 0)) {
        std::this_thread::sleep_for(500ms);
        if (const auto a = HttpGet(ip, 9090, "/api/v1/query?query=tavrin_snr_db%7Binput%3D%22a%22%7D"))
            snr = ValueOf(*a, "unit-tls");
        if (const auto a = HttpGet(ip, 9090, "/api/v1/query?query=up")) {
            rightUp = ValueOf(*a, "right", "job");
            wrongUp = ValueOf(*a, "wrong", "job");
        }
    }
    EXPECT_EQ(snr, 17.5) << prometheus.Err();
    EXPECT_EQ(rightUp, 1) << prometheus.Err();
    EXPECT_EQ(wrongUp, 0) << prometheus.Err();
    EXPECT_EQ(prometheus.Stop(), 0);
}
