// Windows language abbreviations (LOCALE_SABBREVLANGNAME) with the language
// names Windows gives them, in the order Windows enumerates its locales
// (by locale id). Language files are named by these abbreviations.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "texts/ui_texts.h"

namespace glintvane {
namespace {

struct Locale {
  std::string_view abbreviation;
  std::string_view tag;  // BCP 47, as Linux locales spell it with "_"
  std::string_view name;
};

constexpr std::array kLocales = {
    Locale{"ARA", "ar-SA", "Arabic (Saudi Arabia)"},
    Locale{"BGR", "bg-BG", "Bulgarian (Bulgaria)"},
    Locale{"CAT", "ca-ES", "Catalan (Catalan)"},
    Locale{"CHT", "zh-TW", "Chinese (Traditional, Taiwan)"},
    Locale{"CSY", "cs-CZ", "Czech (Czech Republic)"},
    Locale{"DAN", "da-DK", "Danish (Denmark)"},
    Locale{"DEU", "de-DE", "German (Germany)"},
    Locale{"ELL", "el-GR", "Greek (Greece)"},
    Locale{"ENU", "en-US", "English (United States)"},
    Locale{"FIN", "fi-FI", "Finnish (Finland)"},
    Locale{"FRA", "fr-FR", "French (France)"},
    Locale{"HEB", "he-IL", "Hebrew (Israel)"},
    Locale{"HUN", "hu-HU", "Hungarian (Hungary)"},
    Locale{"ISL", "is-IS", "Icelandic (Iceland)"},
    Locale{"ITA", "it-IT", "Italian (Italy)"},
    Locale{"JPN", "ja-JP", "Japanese (Japan)"},
    Locale{"KOR", "ko-KR", "Korean (Korea)"},
    Locale{"NLD", "nl-NL", "Dutch (Netherlands)"},
    Locale{"NOR", "nb-NO", "Norwegian, Bokm\xC3\xA5l (Norway)"},
    Locale{"PLK", "pl-PL", "Polish (Poland)"},
    Locale{"PTB", "pt-BR", "Portuguese (Brazil)"},
    Locale{"ROM", "ro-RO", "Romanian (Romania)"},
    Locale{"RUS", "ru-RU", "Russian (Russia)"},
    Locale{"HRV", "hr-HR", "Croatian (Croatia)"},
    Locale{"SKY", "sk-SK", "Slovak (Slovakia)"},
    Locale{"SQI", "sq-AL", "Albanian (Albania)"},
    Locale{"SVE", "sv-SE", "Swedish (Sweden)"},
    Locale{"THA", "th-TH", "Thai (Thailand)"},
    Locale{"TRK", "tr-TR", "Turkish (Turkey)"},
    Locale{"URD", "ur-PK", "Urdu (Islamic Republic of Pakistan)"},
    Locale{"IND", "id-ID", "Indonesian (Indonesia)"},
    Locale{"UKR", "uk-UA", "Ukrainian (Ukraine)"},
    Locale{"BEL", "be-BY", "Belarusian (Belarus)"},
    Locale{"SLV", "sl-SI", "Slovenian (Slovenia)"},
    Locale{"ETI", "et-EE", "Estonian (Estonia)"},
    Locale{"LVI", "lv-LV", "Latvian (Latvia)"},
    Locale{"LTH", "lt-LT", "Lithuanian (Lithuania)"},
    Locale{"FAR", "fa-IR", "Persian (Iran)"},
    Locale{"VIT", "vi-VN", "Vietnamese (Vietnam)"},
    Locale{"HYE", "hy-AM", "Armenian (Armenia)"},
    Locale{"AZE", "az-AZ", "Azeri (Latin, Azerbaijan)"},
    Locale{"EUQ", "eu-ES", "Basque (Basque)"},
    Locale{"MKI", "mk-MK", "Macedonian (Former Yugoslav Republic of Macedonia)"},
    Locale{"AFK", "af-ZA", "Afrikaans (South Africa)"},
    Locale{"KAT", "ka-GE", "Georgian (Georgia)"},
    Locale{"FOS", "fo-FO", "Faroese (Faroe Islands)"},
    Locale{"HIN", "hi-IN", "Hindi (India)"},
    Locale{"MSL", "ms-MY", "Malay (Malaysia)"},
    Locale{"KKZ", "kk-KZ", "Kazakh (Kazakhstan)"},
    Locale{"SWK", "sw-KE", "Kiswahili (Kenya)"},
    Locale{"UZB", "uz-UZ", "Uzbek (Latin, Uzbekistan)"},
    Locale{"TTT", "tt-RU", "Tatar (Russia)"},
    Locale{"BNG", "bn-IN", "Bengali (India)"},
    Locale{"TAM", "ta-IN", "Tamil (India)"},
    Locale{"GLC", "gl-ES", "Galician (Galician)"},
    Locale{"CHS", "zh-CN", "Chinese (Simplified, PRC)"},
    Locale{"DES", "de-CH", "German (Switzerland)"},
    Locale{"ENG", "en-GB", "English (United Kingdom)"},
    Locale{"ESM", "es-MX", "Spanish (Mexico)"},
    Locale{"FRB", "fr-BE", "French (Belgium)"},
    Locale{"ITS", "it-CH", "Italian (Switzerland)"},
    Locale{"NLB", "nl-BE", "Dutch (Belgium)"},
    Locale{"NON", "nn-NO", "Norwegian, Nynorsk (Norway)"},
    Locale{"PTG", "pt-PT", "Portuguese (Portugal)"},
    Locale{"SRL", "sr-RS", "Serbian (Latin, Serbia)"},
    Locale{"SVF", "sv-FI", "Swedish (Finland)"},
    Locale{"ZHH", "zh-HK", "Chinese (Traditional, Hong Kong S.A.R.)"},
    Locale{"DEA", "de-AT", "German (Austria)"},
    Locale{"ENA", "en-AU", "English (Australia)"},
    Locale{"ESN", "es-ES", "Spanish (Spain)"},
    Locale{"FRC", "fr-CA", "French (Canada)"},
    Locale{"ZHI", "zh-SG", "Chinese (Simplified, Singapore)"},
    Locale{"DEL", "de-LU", "German (Luxembourg)"},
    Locale{"ENC", "en-CA", "English (Canada)"},
    Locale{"ESG", "es-GT", "Spanish (Guatemala)"},
    Locale{"FRS", "fr-CH", "French (Switzerland)"},
    Locale{"DEC", "de-LI", "German (Liechtenstein)"},
    Locale{"ENZ", "en-NZ", "English (New Zealand)"},
    Locale{"FRL", "fr-LU", "French (Luxembourg)"},
    Locale{"ENI", "en-IE", "English (Ireland)"},
    Locale{"ESO", "es-CO", "Spanish (Colombia)"},
    Locale{"ENS", "en-ZA", "English (South Africa)"},
    Locale{"ESL", "es-CL", "Spanish (Chile)"},
    Locale{"ESS", "es-AR", "Spanish (Argentina)"},
    Locale{"ENN", "en-IN", "English (India)"},
};

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

std::string LanguageNameOf(std::string_view abbreviation) {
  const std::string wanted = Upper(abbreviation);
  for (const auto& locale : kLocales) {
    if (locale.abbreviation == wanted) return std::string(locale.name);
  }
  return {};
}

std::string LanguageAbbreviationForLocale(std::string_view locale) {
  // "de_DE.UTF-8@euro" -> "de-de"
  const size_t cut = locale.find_first_of(".@");
  std::string tag = Lower(locale.substr(0, cut));
  std::replace(tag.begin(), tag.end(), '_', '-');
  const std::string language = tag.substr(0, tag.find('-'));
  for (const auto& entry : kLocales) {
    if (Lower(entry.tag) == tag) return std::string(entry.abbreviation);
  }
  // No exact region: the language's first locale, as Windows lists them.
  for (const auto& entry : kLocales) {
    const std::string_view entry_language = entry.tag.substr(0, entry.tag.find('-'));
    if (entry_language == language) return std::string(entry.abbreviation);
  }
  return "ENU";
}

}  // namespace glintvane
