// The user's locale on Linux as the language identifier that picks the date order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/posix/locale_language.h"
#include "app/posix/posix_platform.h"
#include "panel/vfd_cmd.h"

namespace lumora::posix {
namespace {

struct LocaleCase {
  const char* lcAll;
  const char* lcTime;
  const char* lang;
  const char* answer;  // "" when the query fails
};

TEST(Locale, PrecedenceAndNames) {
  const LocaleCase cases[] = {
      {nullptr, nullptr, "en_US.UTF-8", "0409"},
      {nullptr, nullptr, "de_DE.UTF-8", "0407"},
      {nullptr, nullptr, "en_GB", "0809"},
      {nullptr, nullptr, "fr_FR.ISO-8859-1", "040C"},
      {nullptr, nullptr, "fr_CA.UTF-8", "0C0C"},
      {nullptr, nullptr, "ja_JP.eucJP", "0411"},
      {nullptr, nullptr, "es_US", "540A"},
      // LC_ALL before LC_TIME before LANG; an empty one counts as unset.
      {"de_CH.UTF-8", "fr_FR.UTF-8", "en_US.UTF-8", "0807"},
      {"", "fr_FR.UTF-8", "en_US.UTF-8", "040C"},
      {nullptr, "", "nl_BE.UTF-8", "0813"},
      // "C" in force wins over a LANG behind it: no identifier.
      {"C", nullptr, "de_DE.UTF-8", ""},
      {nullptr, "POSIX", "de_DE.UTF-8", ""},
      {nullptr, nullptr, "C.UTF-8", ""},
      {nullptr, nullptr, nullptr, ""},
      {nullptr, nullptr, "xx_YY.UTF-8", ""},
      // A modifier counts where it names another language, else it is ignored.
      {nullptr, nullptr, "es_ES.UTF-8@traditional", "040A"},
      {nullptr, nullptr, "es_ES.UTF-8", "0C0A"},
      {nullptr, nullptr, "iu_CA.UTF-8@latin", "085D"},
      {nullptr, nullptr, "de_DE@euro", "0407"},
      // A territory the table lacks: the language alone.
      {nullptr, nullptr, "de_BE.UTF-8", "0407"},
      {nullptr, nullptr, "en", "0409"},
  };
  for (const LocaleCase& c : cases) {
    const std::string_view locale = TimeLocaleName(c.lcAll, c.lcTime, c.lang);
    char buffer[128] = "unchanged";
    const int32_t n = LocaleLanguageAnswer(locale, buffer, sizeof buffer);
    const std::string where = std::string(c.lcAll ? c.lcAll : "-") + "/" +
                              (c.lcTime ? c.lcTime : "-") + "/" + (c.lang ? c.lang : "-");
    if (c.answer[0] == '\0') {
      EXPECT_EQ(n, 0) << where;
    } else {
      EXPECT_EQ(n, 5) << where;
      EXPECT_STREQ(buffer, c.answer) << where;
    }
  }
  char small[4];
  EXPECT_EQ(LocaleLanguageAnswer("en_US", small, sizeof small), 0);
}

TEST(Locale, EveryDateOrderLanguageIsReachable) {
  for (const uint16_t id : kDayMonthYearLanguages) {
    bool found = false;
    for (const LocaleLanguage& entry : kLocaleLanguages)
      found = found || (entry.id == id && LanguageOfLocale(entry.name) == id);
    EXPECT_TRUE(found) << std::hex << id;
  }
  for (const uint16_t id : kMonthDayYearLanguages) {
    bool found = false;
    for (const LocaleLanguage& entry : kLocaleLanguages)
      found = found || (entry.id == id && LanguageOfLocale(entry.name) == id);
    EXPECT_TRUE(found) << std::hex << id;
  }
}

// The environment reaches the panel wrapper's date order through the Linux platform.
TEST(Locale, DateOrderFromTheEnvironment) {
  emulator::EmulatedPanel panel(nullptr, nullptr);
  PosixPlatform platform(panel, nullptr);
  CVFDCmd wrapper(platform);
  struct OrderCase {
    const char* lang;
    uint8_t order;
  };
  const char* savedAll = std::getenv("LC_ALL");
  const std::string keptAll = savedAll ? savedAll : "";
  const char* savedTime = std::getenv("LC_TIME");
  const std::string keptTime = savedTime ? savedTime : "";
  const char* savedLang = std::getenv("LANG");
  const std::string keptLang = savedLang ? savedLang : "";
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_TIME");
  for (const OrderCase& c :
       {OrderCase{"en_US.UTF-8", kMonthDayYear}, OrderCase{"de_DE.UTF-8", kDayMonthYear},
        OrderCase{"ja_JP.UTF-8", kYearMonthDay}, OrderCase{"C", kYearMonthDay}}) {
    ::setenv("LANG", c.lang, 1);
    EXPECT_EQ(wrapper.GetDateOrder(), c.order) << c.lang;
  }
  auto restore = [](const char* name, const char* saved, const std::string& value) {
    if (saved != nullptr) {
      ::setenv(name, value.c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  };
  restore("LC_ALL", savedAll, keptAll);
  restore("LC_TIME", savedTime, keptTime);
  restore("LANG", savedLang, keptLang);
}

}  // namespace
}  // namespace lumora::posix
