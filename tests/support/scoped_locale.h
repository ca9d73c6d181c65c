// Runs a test body in a given C library locale (as the desktop program does
// once its Qt application has read LANG/LC_ALL) and restores the old one.
#pragma once
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace testsupport {

// The comma-decimal and Turkish locales the suite is run under; test.sh
// generates them (scripts/locales.sh) when the machine lacks them.
// Windows (the tests under Wine) names them by language, country and code page.
#ifdef _WIN32
inline constexpr const char* kCommaLocale = "German_Germany.1252";
inline constexpr const char* kTurkishLocale = "Turkish_Turkey.1254";
inline constexpr const char* kTurkishByteLocale = "Turkish_Turkey.1254";
#else
inline constexpr const char* kCommaLocale = "de_DE.UTF-8";
inline constexpr const char* kTurkishLocale = "tr_TR.UTF-8";
// Single-byte Turkish: tolower('I') is the dotless i (0xFD) here.
inline constexpr const char* kTurkishByteLocale = "tr_TR.ISO-8859-9";
#endif

class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) {
        const char* old = std::setlocale(LC_ALL, nullptr);
        old_ = old ? old : "C";
        active_ = std::setlocale(LC_ALL, name) != nullptr;
        EXPECT_TRUE(active_) << "locale " << name << " is missing: run scripts/locales.sh (as root)";
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool Active() const { return active_; }

    // What the C library itself makes of 1.5 under this locale ("1,5" under de_DE).
    static std::string PrintfOneAndAHalf() {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        return text;
    }

private:
    std::string old_;
    bool active_ = false;
};

}  // namespace testsupport
