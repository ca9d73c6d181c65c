// tavrin_oracle_check: tells, for every accepted reply a soak run collected,
// whether its value belongs to the code it was read for, by the simulated
// unit's oracle (sim::OracleBelongs, the same function the fault tests use).
//
// Standard input: one reading a line, "SOURCE<TAB>CODE<TAB>VALUE" (SOURCE names
// where the reading was found, e.g. "desktop" or "ctl-read"). The oracle gives
// the values of the unit's settings and reception values; the unit's own
// fixed values (model, versions, serial number, data port) and what lies
// outside its table (address, slot, mode) keep their usual values and are
// counted apart, unchecked. Prints every mismatch (the first 20 of each
// source) as "mismatch SOURCE CODE VALUE", then one line per source,
// "SOURCE checked N mismatches M unchecked U". Exit status 1 when any value
// does not belong to its code, 2 on a line that is not a reading.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "sim/sim_table.h"
#include "sim/sim_unit.h"

namespace {

constexpr int kShownPerSource = 20;

struct Tally {
    long long checked = 0;
    long long mismatches = 0;
    long long unchecked = 0;
};

// True when the oracle gives the values of `code`.
bool OracleServes(const std::string& code) {
    const sim::CodeRow* row = sim::FindCode(code);
    return row && row->store != sim::Store::Unit;
}

}  // namespace

int main() {
    std::map<std::string, Tally> tallies;
    std::string line;
    long long lineNumber = 0;
    bool anyMismatch = false;
    while (std::getline(std::cin, line)) {
        ++lineNumber;
        if (line.empty()) continue;
        const size_t t1 = line.find('\t');
        const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        if (t2 == std::string::npos) {
            std::fprintf(stderr, "tavrin_oracle_check: line %lld is not SOURCE<TAB>CODE<TAB>VALUE\n", lineNumber);
            return 2;
        }
        const std::string source = line.substr(0, t1);
        const std::string code = line.substr(t1 + 1, t2 - t1 - 1);
        const std::string value = line.substr(t2 + 1);
        Tally& tally = tallies[source];
        if (!OracleServes(code)) {
            ++tally.unchecked;
            continue;
        }
        ++tally.checked;
        if (sim::OracleBelongs(code, value)) continue;
        anyMismatch = true;
        if (++tally.mismatches <= kShownPerSource)
            std::printf("mismatch %s %s %s\n", source.c_str(), code.c_str(), value.c_str());
    }
    for (const auto& [source, tally] : tallies)
        std::printf("%s checked %lld mismatches %lld unchecked %lld\n", source.c_str(), tally.checked,
                    tally.mismatches, tally.unchecked);
    return anyMismatch ? 1 : 0;
}
