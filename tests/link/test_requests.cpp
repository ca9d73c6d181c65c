// Every named request, text for text: the unit takes a request only when its
// address has four digits and its body is exactly "r<code>;;" or "w<code>;<value>;".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/requests.h"
#include "support/scoped_locale.h"

namespace {

struct Case {
    std::string built;
    std::string expected;
};

std::vector<Case> AllRequests() {
    return {
        {AddressedRequest(7, "rgser;;"), "\x02" "0007rgser;;"},
        {TypedRequest("00x2", "r1loc;;"), "\x02" "00x2r1loc;;"},
        {BuildReadRequest(1, "1loc"), "\x02" "0001r1loc;;"},
        {BuildWriteRequest(42, "edef", "Harbour cam"), "\x02" "0042wedef;Harbour cam;"},
        {BuildWriteRequest(42, "edef", ""), "\x02" "0042wedef;;"},
        {UnitAddressReadRequest(12), "\x02" "0012rgadd;;"},
        {AnyUnitProbeRequest(), "\x02" "9999rgadd;;"},
        {SetUnitAddressRequest(1, 42), "\x02" "0001wgadd;0042;"},
        {SetUnitAddressRequest(1234, 9999), "\x02" "1234wgadd;9999;"},
        {SlotInUseReadRequest(1), "\x02" "0001rdlas;;"},
        {StoreSlotRequest(1, 3), "\x02" "0001wdsto;3;"},
        {LoadSlotRequest(1, 8), "\x02" "0001wdloa;8;"},
        {DemodModeReadRequest(1), "\x02" "0001rgudm;;"},
        {DemodModeRequest(1, 1), "\x02" "0001wgudm;1;"},
        {InputModeRequest(1, 8), "\x02" "0001wgmod;8;"},
        {RestoreDefaultsRequest(1), "\x02" "0001wddef;1;"},
        {LoSideRequest(1, "1"), "\x02" "0001w1los;1;"},
        {LoFrequencyRequest(1, "1.700"), "\x02" "0001w1dco;1.700;"},
        {InputFrequencyRequest(1, "1.395"), "\x02" "0001w1ipf;1.395;"},
        // Keys go without STX: their code stands at offsets 5..8.
        {AbsKeyRequest(1, "deadBEEF"), "0001wzebs;deadBEEF;"},
        {AesKeyRequest(12, "00112233445566778899aabbccddeeff"), "0012wzaes;00112233445566778899aabbccddeeff;"},
        {Aes256UpperKeyRequest(12, "FFEEDDCCBBAA99887766554433221100"), "0012wza25;FFEEDDCCBBAA99887766554433221100;"},
    };
}

}  // namespace

TEST(Requests, EachNamedRequestIsItsExactText) {
    for (const Case& c : AllRequests()) EXPECT_EQ(c.built, c.expected);
}

TEST(Requests, NumbersIgnoreTheLocale) {
    for (const char* name : {testsupport::kCommaLocale, testsupport::kTurkishLocale}) {
        testsupport::ScopedLocale locale(name);
        ASSERT_TRUE(locale.Active());
        for (const Case& c : AllRequests()) EXPECT_EQ(c.built, c.expected) << name;
    }
}
