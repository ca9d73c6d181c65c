// The decryption key checks shared by the key dialog and tavrinctl.
#include <gtest/gtest.h>

#include "link/frame.h"
#include "pages/key_check.h"

TEST(KeyCheck, MessagesComeInTheOperatorsOrder) {
    const std::string k32 = "0123456789abcdefABCDEF0123456789";
    EXPECT_EQ(CheckKeyFields(KeyTypeAbs, "1234567", "").message, "ABS key must be 8 hex digits");
    EXPECT_EQ(CheckKeyFields(KeyTypeAes128, k32.substr(0, 31), "").message, "AES key must be 32 hex digits");
    EXPECT_EQ(CheckKeyFields(KeyTypeAes256, k32, k32.substr(1)).message,
              "AES key must be 32 hex digits in each field");
    // Length is judged before the characters: a short field with a bad digit
    // reports its length.
    EXPECT_EQ(CheckKeyFields(KeyTypeAes256, "g", k32).message, "AES key must be 32 hex digits in each field");
    EXPECT_EQ(CheckKeyFields(KeyTypeAes256, k32, k32.substr(0, 31) + "g").message,
              "Invalid characters in hex field");
    EXPECT_EQ(CheckKeyFields(KeyTypeAes128, " " + k32.substr(1), "").message, "Invalid characters in hex field");
    // No key type: refused without a message.
    const KeyCheckResult none = CheckKeyFields(6, k32, k32);
    EXPECT_FALSE(none.accepted);
    EXPECT_TRUE(none.message.empty());
}

TEST(KeyCheck, OnlyTheFirstDigitsAreTakenAndCaseIsKept) {
    // Characters past the first 8 are not checked: only what is sent counts.
    KeyCheckResult abs = CheckKeyFields(KeyTypeAbs, "deadBEEFzz", "ignored");
    ASSERT_TRUE(abs.accepted) << abs.message;
    EXPECT_EQ(abs.lower, "deadBEEF");
    EXPECT_TRUE(abs.upper.empty());

    const std::string lower = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", upper = "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB";
    KeyCheckResult aes = CheckKeyFields(KeyTypeAes256, lower + "1", upper + "2");
    ASSERT_TRUE(aes.accepted);
    EXPECT_EQ(aes.lower, lower);
    EXPECT_EQ(aes.upper, upper);

    const auto requests = KeyRequests(KeyTypeAes256, 12, aes.lower, aes.upper);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], "0012wzaes;" + lower + ";");
    EXPECT_EQ(requests[1], "0012wza25;" + upper + ";");
    EXPECT_EQ(KeyRequests(KeyTypeAbs, 1, "deadBEEF", "")[0], "0001wzebs;deadBEEF;");
    EXPECT_EQ(KeyRequests(KeyTypeAes128, 1, lower, "").size(), 1u);
    EXPECT_TRUE(KeyRequests(7, 1, lower, upper).empty());
}

TEST(KeyCheck, DescramblingSettingChoosesTheInitialType) {
    EXPECT_EQ(KeyTypeForDescrambling(-1), KeyTypeAbs);   // never read
    EXPECT_EQ(KeyTypeForDescrambling(0), KeyTypeAbs);    // Off
    EXPECT_EQ(KeyTypeForDescrambling(1), KeyTypeAbs);
    EXPECT_EQ(KeyTypeForDescrambling(2), KeyTypeAes128);
    EXPECT_EQ(KeyTypeForDescrambling(3), KeyTypeAes128);   // AES128+
    EXPECT_EQ(KeyTypeForDescrambling(4), KeyTypeAes256);
    EXPECT_EQ(KeyTypeForDescrambling(5), KeyTypeAes256);
    EXPECT_EQ(KeyTypeForDescrambling(6), 6);   // Tessel: no type selected
    EXPECT_EQ(KeyDigits(6), 0);
    EXPECT_EQ(ParseKeyTypeName("AES256"), KeyTypeAes256);
    EXPECT_EQ(ParseKeyTypeName("aes"), -1);
}
