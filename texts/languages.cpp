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

// Each language's name in itself, as a language menu shows it, by the
// language part of the tag; Chinese by its script.
struct NativeName {
  std::string_view language;
  std::string_view name;
};

constexpr std::array kNativeNames = {
    NativeName{"af", "Afrikaans"},
    NativeName{"ar", "\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9"},
    NativeName{"az", "Az\xC9\x99rbaycan"},
    NativeName{"be",
               "\xD0\x91\xD0\xB5\xD0\xBB\xD0\xB0\xD1\x80\xD1\x83\xD1\x81\xD0\xBA\xD0\xB0\xD1\x8F"},
    NativeName{"bg", "\xD0\x91\xD1\x8A\xD0\xBB\xD0\xB3\xD0\xB0\xD1\x80\xD1\x81\xD0\xBA\xD0\xB8"},
    NativeName{"bn", "\xE0\xA6\xAC\xE0\xA6\xBE\xE0\xA6\x82\xE0\xA6\xB2\xE0\xA6\xBE"},
    NativeName{"ca", "Catal\xC3\xA0"},
    NativeName{"cs",
               "\xC4\x8C"
               "e\xC5\xA1tina"},
    NativeName{"da", "Dansk"},
    NativeName{"de", "Deutsch"},
    NativeName{"el", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC"},
    NativeName{"en", "English"},
    NativeName{"es", "Espa\xC3\xB1ol"},
    NativeName{"et", "Eesti"},
    NativeName{"eu", "Euskara"},
    NativeName{"fa", "\xD9\x81\xD8\xA7\xD8\xB1\xD8\xB3\xDB\x8C"},
    NativeName{"fi", "Suomi"},
    NativeName{"fo", "F\xC3\xB8royskt"},
    NativeName{"fr",
               "Fran\xC3\xA7"
               "ais"},
    NativeName{"gl", "Galego"},
    NativeName{"he", "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA"},
    NativeName{"hi", "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D\xE0\xA4\xA6\xE0\xA5\x80"},
    NativeName{"hr", "Hrvatski"},
    NativeName{"hu", "Magyar"},
    NativeName{"hy", "\xD5\x80\xD5\xA1\xD5\xB5\xD5\xA5\xD6\x80\xD5\xA5\xD5\xB6"},
    NativeName{"id", "Bahasa Indonesia"},
    NativeName{"is", "\xC3\x8Dslenska"},
    NativeName{"it", "Italiano"},
    NativeName{"ja", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    NativeName{
        "ka",
        "\xE1\x83\xA5\xE1\x83\x90\xE1\x83\xA0\xE1\x83\x97\xE1\x83\xA3\xE1\x83\x9A\xE1\x83\x98"},
    NativeName{"kk", "\xD2\x9A\xD0\xB0\xD0\xB7\xD0\xB0\xD2\x9B"},
    NativeName{"ko", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
    NativeName{"lt", "Lietuvi\xC5\xB3"},
    NativeName{"lv", "Latvie\xC5\xA1u"},
    NativeName{"mk",
               "\xD0\x9C\xD0\xB0\xD0\xBA\xD0\xB5\xD0\xB4\xD0\xBE\xD0\xBD\xD1\x81\xD0\xBA\xD0\xB8"},
    NativeName{"ms", "Bahasa Melayu"},
    NativeName{"nb", "Norsk bokm\xC3\xA5l"},
    NativeName{"nl", "Nederlands"},
    NativeName{"nn", "Norsk nynorsk"},
    NativeName{"pl", "Polski"},
    NativeName{"pt", "Portugu\xC3\xAAs"},
    NativeName{"ro", "Rom\xC3\xA2n\xC4\x83"},
    NativeName{"ru", "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9"},
    NativeName{"sk", "Sloven\xC4\x8Dina"},
    NativeName{"sl", "Sloven\xC5\xA1\xC4\x8Dina"},
    NativeName{"sq", "Shqip"},
    NativeName{"sr", "Srpski"},
    NativeName{"sv", "Svenska"},
    NativeName{"sw", "Kiswahili"},
    NativeName{"ta", "\xE0\xAE\xA4\xE0\xAE\xAE\xE0\xAE\xBF\xE0\xAE\xB4\xE0\xAF\x8D"},
    NativeName{"th", "\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2"},
    NativeName{"tr",
               "T\xC3\xBCrk\xC3\xA7"
               "e"},
    NativeName{"tt", "\xD0\xA2\xD0\xB0\xD1\x82\xD0\xB0\xD1\x80"},
    NativeName{"uk",
               "\xD0\xA3\xD0\xBA\xD1\x80\xD0\xB0\xD1\x97\xD0\xBD\xD1\x81\xD1\x8C\xD0\xBA\xD0\xB0"},
    NativeName{"ur", "\xD8\xA7\xD8\xB1\xD8\xAF\xD9\x88"},
    NativeName{"uz", "O\xCA\xBBzbek"},
    NativeName{"vi", "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t"},
    NativeName{"zh-Hans", "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87"},
    NativeName{"zh-Hant", "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87"},
};

const Locale* LocaleOf(std::string_view abbreviation);

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

const Locale* LocaleOf(std::string_view abbreviation) {
  const std::string wanted = Upper(abbreviation);
  for (const auto& locale : kLocales) {
    if (locale.abbreviation == wanted) return &locale;
  }
  return nullptr;
}

}  // namespace

std::string LanguageNameOf(std::string_view abbreviation) {
  const Locale* locale = LocaleOf(abbreviation);
  return locale != nullptr ? std::string(locale->name) : std::string();
}

std::string LanguageTagOf(std::string_view abbreviation) {
  const Locale* locale = LocaleOf(abbreviation);
  return locale != nullptr ? std::string(locale->tag) : std::string();
}

std::string NativeLanguageNameOf(std::string_view abbreviation) {
  const Locale* locale = LocaleOf(abbreviation);
  if (locale == nullptr) return {};
  std::string_view language = locale->tag.substr(0, locale->tag.find('-'));
  if (language == "zh") {
    const bool traditional = locale->tag == "zh-TW" || locale->tag == "zh-HK";
    language = traditional ? "zh-Hant" : "zh-Hans";
  }
  for (const NativeName& entry : kNativeNames) {
    if (entry.language == language) return std::string(entry.name);
  }
  return std::string(locale->name);
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
