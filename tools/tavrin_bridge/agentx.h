// The bridge as an AgentX subagent of the site's snmpd (--agentx SOCKET):
// TAVRIN-RECEIVER-MIB (deploy/mibs) served from the metrics snapshot, and a
// notification for each alarm raised or cleared. Net-SNMP's library is not
// thread-safe: every call to it is made on the agent's own thread.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "tools/tavrin_bridge/agent_view.h"

class AgentX {
public:
    // `view` is called on the agent's thread for each request; it must not
    // wait for the unit.
    AgentX(std::string socket, std::function<AgentView()> view);
    ~AgentX();
    AgentX(const AgentX&) = delete;
    AgentX& operator=(const AgentX&) = delete;

    // Whether this build has the agent (Net-SNMP was found).
    static bool Available();
    // Starts the agent's thread; the master need not be there yet (the
    // agent connects, and connects again after a restart of snmpd, by itself).
    bool Start(std::string* error);
    // Queues a notification; any thread.
    void Notify(AgentNotice notice);
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
