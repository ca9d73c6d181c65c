// The agent in a build without Net-SNMP: --agentx is refused.
#include "tools/tavrin_bridge/agentx.h"

struct AgentX::Impl {};

AgentX::AgentX(std::string, std::function<AgentView()>) {}
AgentX::~AgentX() = default;
bool AgentX::Available() { return false; }
bool AgentX::Start(std::string* error) {
    *error = "--agentx: this tavrin_bridge was built without Net-SNMP";
    return false;
}
void AgentX::Notify(AgentNotice) {}
void AgentX::Stop() {}
