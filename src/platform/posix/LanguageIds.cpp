#include "platform/posix/LanguageIds.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace platform::posix {

namespace {

struct LanguageId {
  std::string_view locale;  // language, or language_TERRITORY, or with an @modifier
  std::uint16_t id;
};

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

// The first entry of each language is its main identifier, used for the language alone and
// for countries not listed.
constexpr LanguageId kLanguageIds[] = {
    {"ar_SA", 0x0401}, {"ar_IQ", 0x0801}, {"ar_EG", 0x0C01}, {"ar_LY", 0x1001},
    {"ar_DZ", 0x1401}, {"ar_MA", 0x1801}, {"ar_TN", 0x1C01}, {"ar_OM", 0x2001},
    {"ar_YE", 0x2401}, {"ar_SY", 0x2801}, {"ar_JO", 0x2C01}, {"ar_LB", 0x3001},
    {"ar_KW", 0x3401}, {"ar_AE", 0x3801}, {"ar_BH", 0x3C01}, {"ar_QA", 0x4001},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"fr_LU", 0x140C}, {"fr_MC", 0x180C}, {"fr_RE", 0x200C}, {"fr_CD", 0x240C},
    {"fr_SN", 0x280C}, {"fr_CM", 0x2C0C}, {"fr_CI", 0x300C}, {"fr_ML", 0x340C},
    {"fr_MA", 0x380C}, {"fr_HT", 0x3C0C},
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_JM", 0x2009},
    {"en_BZ", 0x2809}, {"en_TT", 0x2C09}, {"en_ZW", 0x3009}, {"en_PH", 0x3409},
    {"en_IN", 0x4009}, {"en_MY", 0x4409}, {"en_SG", 0x4809},
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007},
    {"de_LI", 0x1407},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_GT", 0x100A}, {"es_CR", 0x140A},
    {"es_PA", 0x180A}, {"es_DO", 0x1C0A}, {"es_VE", 0x200A}, {"es_CO", 0x240A},
    {"es_PE", 0x280A}, {"es_AR", 0x2C0A}, {"es_EC", 0x300A}, {"es_CL", 0x340A},
    {"es_UY", 0x380A}, {"es_PY", 0x3C0A}, {"es_BO", 0x400A}, {"es_SV", 0x440A},
    {"es_HN", 0x480A}, {"es_NI", 0x4C0A}, {"es_PR", 0x500A}, {"es_US", 0x540A},
    {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
    {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
    {"nb_NO", 0x0414}, {"no_NO", 0x0414}, {"nn_NO", 0x0814},
    {"da_DK", 0x0406}, {"fi_FI", 0x040B}, {"is_IS", 0x040F}, {"fo_FO", 0x0438},
    {"ru_RU", 0x0419}, {"ru_MD", 0x0819}, {"uk_UA", 0x0422}, {"be_BY", 0x0423},
    {"pl_PL", 0x0415}, {"cs_CZ", 0x0405}, {"sk_SK", 0x041B}, {"hu_HU", 0x040E},
    {"ro_RO", 0x0418}, {"ro_MD", 0x0818}, {"bg_BG", 0x0402}, {"el_GR", 0x0408},
    {"hr_HR", 0x041A}, {"hr_BA", 0x101A}, {"sl_SI", 0x0424}, {"bs_BA", 0x141A},
    {"sr_RS", 0x281A}, {"sr_RS@latin", 0x241A}, {"sr_ME", 0x301A}, {"mk_MK", 0x042F},
    {"sq_AL", 0x041C}, {"et_EE", 0x0425}, {"lv_LV", 0x0426}, {"lt_LT", 0x0427},
    {"ca_ES", 0x0403}, {"eu_ES", 0x042D}, {"gl_ES", 0x0456}, {"cy_GB", 0x0452},
    {"ga_IE", 0x083C}, {"mt_MT", 0x043A}, {"lb_LU", 0x046E}, {"rm_CH", 0x0417},
    {"tr_TR", 0x041F}, {"he_IL", 0x040D}, {"fa_IR", 0x0429}, {"ur_PK", 0x0420},
    {"hy_AM", 0x042B}, {"ka_GE", 0x0437}, {"az_AZ", 0x042C}, {"kk_KZ", 0x043F},
    {"hi_IN", 0x0439}, {"th_TH", 0x041E}, {"vi_VN", 0x042A}, {"id_ID", 0x0421},
    {"ms_MY", 0x043E}, {"sw_KE", 0x0441}, {"af_ZA", 0x0436},
    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
    {"zh_MO", 0x1404}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412},
};

std::uint16_t lookUp(std::string_view locale) {
  for (const LanguageId& entry : kLanguageIds)
    if (entry.locale == locale) return entry.id;
  return 0;
}

std::uint16_t mainIdOf(std::string_view language) {
  for (const LanguageId& entry : kLanguageIds) {
    const std::string_view entryLanguage = entry.locale.substr(0, entry.locale.find('_'));
    if (entryLanguage == language) return entry.id;
  }
  return 0;
}

}  // namespace

std::uint16_t windowsLanguageId(const std::string& localeName) {
  // language[_territory][.codeset][@modifier]
  std::string_view name = localeName;
  std::string_view modifier;
  if (const std::size_t at = name.find('@'); at != std::string_view::npos) {
    modifier = name.substr(at);
    name = name.substr(0, at);
  }
  name = name.substr(0, name.find('.'));
  const std::size_t underscore = name.find('_');
  std::string language(name.substr(0, underscore));
  std::string territory(underscore == std::string_view::npos ? std::string_view()
                                                             : name.substr(underscore + 1));
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  std::transform(territory.begin(), territory.end(), territory.begin(),
                 [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? c - 32 : c); });

  if (!territory.empty()) {
    const std::string full = language + "_" + territory;
    if (!modifier.empty())
      if (const std::uint16_t id = lookUp(full + std::string(modifier))) return id;
    if (const std::uint16_t id = lookUp(full)) return id;
  }
  if (const std::uint16_t id = mainIdOf(language)) return id;
  return kEnglishUnitedStates;
}

}  // namespace platform::posix
