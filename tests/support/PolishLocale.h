#pragma once
// The C library's locale of a Polish desktop (LANG=pl_PL.UTF-8: decimal comma) for a
// scope. The programs run under it, since Qt takes the user's locale when the
// application object is created. `make locale` generates it; active() says whether the
// machine has it.

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
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

// Runs body under the C locale, then under the Polish one: the programs' texts must not
// differ between the two. Fails the test when the machine lacks the Polish locale.
template <class Body>
void UnderCAndPolishLocale(Body body)
{
    for (const bool polish : {false, true}) {
        SCOPED_TRACE(polish ? "pl_PL.UTF-8" : "C");
        std::optional<PolishLocale> locale;
        if (polish) {
            locale.emplace();
            ASSERT_TRUE(locale->active()) << "pl_PL.UTF-8 is not generated here (make locale)";
        }
        body();
    }
}

} // namespace testsupport
