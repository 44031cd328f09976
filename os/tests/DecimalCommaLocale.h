#pragma once
// Puts the C library into the decimal-comma locale de_DE.UTF-8 for a scope,
// as Qt does at start-up for a German user, and restores the one before.
#include <clocale>
#include <cstdio>
#include <string>

namespace qel::os::test {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* now = std::setlocale(LC_ALL, nullptr);
        saved_ = now ? now : "C";
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) return;
        char probe[8];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        active_ = std::string(probe) == "1,5";
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // False when de_DE.UTF-8 is not installed (scripts/bootstrap generates it).
    bool active() const { return active_; }

    static constexpr const char* kMissing = "the locale de_DE.UTF-8 is not installed (scripts/bootstrap generates it)";

private:
    std::string saved_;
    bool active_ = false;
};

} // namespace qel::os::test
