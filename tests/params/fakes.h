// Plain stand-ins for a page and a window, and a clean slate for a unit state.
#pragma once
#include "support/wait.h"
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "link/unit_events.h"
#include "params/codec.h"
#include "params/page.h"
#include "params/param_table.h"
#include "support/recording_page.h"
#include "support/recording_target.h"

namespace testing_params {

// A page that is a map of control id -> control state, and a window that
// records what is posted to it, from any thread.
using testsupport::ControlState;
using testsupport::Ev;
using testsupport::Posted;
using testsupport::RecordingTarget;
using FakePage = testsupport::RecordingPage;

using testsupport::WaitUntil;

inline void ResetCodecState(UnitState& unit) {
    ForgetEveryValue(unit);
    unit.demodMode = -1;
    unit.modelFlag = 0;
    unit.loSide = 0;
    unit.loFrequencyMhz = 0.0;
    unit.downconverterIndex = 0;
}

inline std::string StoredText(const UnitState& unit, const ParamEntry* table, const char* code) {
    return ReadParamValue(unit, *FindParam(table, code)).text;
}
inline int64_t StoredNumber(const UnitState& unit, const ParamEntry* table, const char* code) {
    return ReadParamValue(unit, *FindParam(table, code)).number;
}
inline bool HasStored(const UnitState& unit, const ParamEntry* table, const char* code) {
    return ReadParamValue(unit, *FindParam(table, code)).has;
}

// A fresh unit state and a simple page in narrowband mode: the demodulator and
// decoder rows and the downconverter, set up as the page shows them.
inline void PrepareNarrowbandPage(UnitState& unit, FakePage& page) {
    ResetCodecState(unit);
    unit.demodMode = 0;
    page.AddControls(NarrowbandDemodTable);
    page.AddControls(DecoderTable);
    page.controls[kDownconverterControlId];
    SetupPageControls(page, NarrowbandDemodTable);
    SetupPageControls(page, DecoderTable);
}

}  // namespace testing_params
