// Plain stand-ins for a page and a window, and a clean slate for the globals.
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

inline void ResetCodecState() {
    ResetAllParamValues();
    CurrentDemodMode = -1;
    UnitModelFlag = 0;
    LoSideValue = 0;
    LoFrequencyMhz = 0.0;
    DownconverterIndex = 0;
}

inline std::string StoredText(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).text;
}
inline int64_t StoredNumber(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).number;
}
inline bool HasStored(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).has;
}

// A fresh codec and a simple page in narrowband mode: the demodulator and
// decoder rows and the downconverter, set up as the page shows them.
inline void PrepareNarrowbandPage(FakePage& page) {
    ResetCodecState();
    CurrentDemodMode = 0;
    page.AddControls(NarrowbandDemodTable);
    page.AddControls(DecoderTable);
    page.controls[kDownconverterControlId];
    SetupPageControls(page, NarrowbandDemodTable);
    SetupPageControls(page, DecoderTable);
}

}  // namespace testing_params
