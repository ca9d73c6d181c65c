// A build without TLS (TAVRIN_BRIDGE_TLS off, Windows): the metrics are plain
// HTTP without passwords, and a web configuration, which can only ask for TLS
// or passwords, is refused whole rather than served in clear.
#include "tools/tavrin_bridge/web_config.h"

std::shared_ptr<const WebState> LoadWebConfig(const std::string& path, std::string* error) {
    *error = path +
             ": this tavrin_bridge was built without TLS and passwords (its metrics are plain HTTP); "
             "--web-config is refused";
    return nullptr;
}

bool PasswordMatches(const std::string&, const std::string&) { return false; }

bool Authorized(const WebState& state, const std::string&) { return state.users.empty(); }
