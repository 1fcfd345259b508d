#pragma once
// The C library's locale of a Polish desktop (LANG=pl_PL.UTF-8: decimal comma) for a
// scope. The programs run under it, since Qt takes the user's locale when the
// application object is created. `make locale` generates it; active() says whether the
// machine has it.

#include <clocale>
#include <string>

namespace testsupport {

class PolishLocale {
public:
    PolishLocale() : saved_(currentLocale())
    {
        active_ = std::setlocale(LC_ALL, "pl_PL.UTF-8") != nullptr || std::setlocale(LC_ALL, "pl_PL.utf8") != nullptr;
    }
    ~PolishLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    PolishLocale(const PolishLocale&) = delete;
    PolishLocale& operator=(const PolishLocale&) = delete;

    bool active() const { return active_; }

private:
    static std::string currentLocale()
    {
        const char* now = std::setlocale(LC_ALL, nullptr);
        return now ? now : "C";
    }

    std::string saved_;
    bool active_ = false;
};

} // namespace testsupport
