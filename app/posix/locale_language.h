// The user's locale on Linux, as the Windows language identifier that the agent's date order
// is chosen by. The locale comes from LC_ALL, LC_TIME or LANG, the first one that is set and not
// empty (the precedence POSIX gives them for the time category); its name
// (language[_territory][.codeset][@modifier]) is looked up in a small table. "C", "POSIX", an
// unset locale and a name the table does not know have no identifier: the query then fails,
// as GetLocaleInfoA does, and the agent falls back to the year-first date.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "panel/panel_tables.h"

namespace lumora::posix {

struct LocaleLanguage {
  std::string_view name;  // language_TERRITORY[@modifier], or a language alone
  uint16_t id;            // the Windows language identifier
};

// Every identifier of the date-order lists has a locale here (checked below), then the common
// locales whose dates are year first.
inline constexpr auto kLocaleLanguages = std::to_array<LocaleLanguage>({
    // Day, month, year.
    {"cs_CZ", 0x0405},
    {"da_DK", 0x0406},
    {"de_DE", 0x0407},
    {"es_ES@traditional", 0x040A},
    {"fi_FI", 0x040B},
    {"fr_FR", 0x040C},
    {"nl_NL", 0x0413},
    {"nb_NO", 0x0414},
    {"no_NO", 0x0414},
    {"pl_PL", 0x0415},
    {"ru_RU", 0x0419},
    {"sv_SE", 0x041D},
    {"tr_TR", 0x041F},
    {"hsb_DE", 0x042E},
    {"se_NO", 0x043B},
    {"tt_RU", 0x0444},
    {"cy_GB", 0x0452},
    {"fy_NL", 0x0462},
    {"ba_RU", 0x046D},
    {"br_FR", 0x047E},
    {"oc_FR", 0x0482},
    {"co_FR", 0x0483},
    {"gsw_FR", 0x0484},
    {"sah_RU", 0x0485},
    {"de_CH", 0x0807},
    {"en_GB", 0x0809},
    {"fr_BE", 0x080C},
    {"it_CH", 0x0810},
    {"nl_BE", 0x0813},
    {"nn_NO", 0x0814},
    {"pt_PT", 0x0816},
    {"sv_FI", 0x081D},
    {"dsb_DE", 0x082E},
    {"se_SE", 0x083B},
    {"ga_IE", 0x083C},
    {"es_ES", 0x0C0A},
    {"se_FI", 0x0C3B},
    {"fr_CH", 0x100C},
    {"smj_NO", 0x103B},
    {"smj_SE", 0x143B},
    {"en_IE", 0x1809},
    {"sma_NO", 0x183B},
    {"sma_SE", 0x1C3B},
    {"sms_FI", 0x203B},
    {"smn_FI", 0x243B},
    // Month, day, year.
    {"en_US", 0x0409},
    {"iu_CA", 0x045D},
    {"moh_CA", 0x047C},
    {"iu_CA@latin", 0x085D},
    {"fr_CA", 0x0C0C},
    {"en_CA", 0x1009},
    {"es_US", 0x540A},
    // Year first (neither list).
    {"ar_SA", 0x0401},
    {"bg_BG", 0x0402},
    {"ca_ES", 0x0403},
    {"zh_TW", 0x0404},
    {"el_GR", 0x0408},
    {"he_IL", 0x040D},
    {"hu_HU", 0x040E},
    {"is_IS", 0x040F},
    {"it_IT", 0x0410},
    {"ja_JP", 0x0411},
    {"ko_KR", 0x0412},
    {"pt_BR", 0x0416},
    {"ro_RO", 0x0418},
    {"hr_HR", 0x041A},
    {"sk_SK", 0x041B},
    {"th_TH", 0x041E},
    {"id_ID", 0x0421},
    {"uk_UA", 0x0422},
    {"sl_SI", 0x0424},
    {"et_EE", 0x0425},
    {"lv_LV", 0x0426},
    {"lt_LT", 0x0427},
    {"vi_VN", 0x042A},
    {"hi_IN", 0x0439},
    {"zh_CN", 0x0804},
    {"es_MX", 0x080A},
    {"zh_HK", 0x0C04},
    {"en_AU", 0x0C09},
    {"de_AT", 0x0C07},
    {"zh_SG", 0x1004},
    {"en_NZ", 0x1409},
    {"en_ZA", 0x1C09},
    {"es_AR", 0x2C0A},
    {"en_IN", 0x4009},
    // A language alone: its main country.
    {"cs", 0x0405},
    {"da", 0x0406},
    {"de", 0x0407},
    {"en", 0x0409},
    {"es", 0x0C0A},
    {"fi", 0x040B},
    {"fr", 0x040C},
    {"it", 0x0410},
    {"ja", 0x0411},
    {"ko", 0x0412},
    {"nl", 0x0413},
    {"pl", 0x0415},
    {"pt", 0x0816},
    {"ru", 0x0419},
    {"sv", 0x041D},
    {"tr", 0x041F},
    {"zh", 0x0804},
});

constexpr bool HasLocaleFor(uint16_t id) {
  for (const LocaleLanguage& entry : kLocaleLanguages) {
    if (entry.id == id) return true;
  }
  return false;
}

constexpr bool CoversDateOrderLanguages() {
  for (const uint16_t id : kDayMonthYearLanguages) {
    if (!HasLocaleFor(id)) return false;
  }
  for (const uint16_t id : kMonthDayYearLanguages) {
    if (!HasLocaleFor(id)) return false;
  }
  return true;
}
static_assert(CoversDateOrderLanguages(),
              "every language of the date-order lists needs a locale in kLocaleLanguages");

// The identifier of a POSIX locale name, 0 when it has none. The codeset is ignored; a modifier
// counts where the table names one ("es_ES@traditional"), else it is ignored too; a territory
// the table does not know falls back to the language alone.
constexpr uint16_t LanguageOfLocale(std::string_view locale) {
  const size_t baseEnd = locale.find_first_of(".@");
  const std::string_view base = locale.substr(0, baseEnd);
  const size_t at = locale.find('@');
  const std::string_view modifier = at == std::string_view::npos ? "" : locale.substr(at);
  if (base.empty()) return 0;
  if (!modifier.empty()) {
    for (const LocaleLanguage& entry : kLocaleLanguages) {
      if (entry.name.size() == base.size() + modifier.size() && entry.name.starts_with(base) &&
          entry.name.ends_with(modifier)) {
        return entry.id;
      }
    }
  }
  for (const LocaleLanguage& entry : kLocaleLanguages) {
    if (entry.name == base) return entry.id;
  }
  const std::string_view language = base.substr(0, base.find('_'));
  if (language.size() == base.size()) return 0;
  for (const LocaleLanguage& entry : kLocaleLanguages) {
    if (entry.name == language) return entry.id;
  }
  return 0;
}

// The locale name in force for dates: LC_ALL, else LC_TIME, else LANG; empty when none is set.
constexpr std::string_view TimeLocaleName(const char* lcAll, const char* lcTime, const char* lang) {
  for (const char* value : {lcAll, lcTime, lang}) {
    if (value != nullptr && value[0] != '\0') return value;
  }
  return {};
}

// The answer of the locale query: the identifier as four hexadecimal digits and a NUL, as
// Windows gives it ("0409"); returns the characters written including the NUL, or 0 when the
// locale has no identifier or the buffer is too small.
int32_t LocaleLanguageAnswer(std::string_view locale, char* buffer, int32_t size);

}  // namespace lumora::posix
