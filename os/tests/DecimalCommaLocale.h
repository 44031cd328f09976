#pragma once
// Puts the C library into a German decimal-comma locale for a scope, as Qt
// does at start-up for a German user on Unix (and as any library or plug-in
// of the process may do on Windows), and restores the one before.
#include <clocale>
#include <cstdio>
#include <string>

namespace qel::os::test {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* now = std::setlocale(LC_ALL, nullptr);
        saved_ = now ? now : "C";
        // Unix names, then the Windows C runtime's.
        const char* const names[] = {"de_DE.UTF-8", "German_Germany.1252", "de-DE"};
        bool set = false;
        for (const char* name : names)
            if ((set = std::setlocale(LC_ALL, name) != nullptr)) break;
        if (!set) return;
        char probe[8];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        active_ = std::string(probe) == "1,5";
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // False when no German locale is installed (on Linux scripts/bootstrap
    // generates de_DE.UTF-8).
    bool active() const { return active_; }

    static constexpr const char* kMissing = "no German locale is installed (scripts/bootstrap generates de_DE.UTF-8)";

private:
    std::string saved_;
    bool active_ = false;
};

} // namespace qel::os::test
