// The user's measurement system, from LC_MEASUREMENT as the C library
// resolves it (LC_ALL, then LC_MEASUREMENT, then LANG).
#include <tarvel/ui.h>

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The territories that measure in inches, for locales the C library does
// not have installed.
bool UsesInches(const std::string& name)
{
    auto underscore = name.find('_');
    if (underscore == std::string::npos) {
        return false;
    }
    std::string territory = name.substr(underscore + 1, 2);
    return territory == "US" || territory == "LR" || territory == "MM" || territory == "PR";
}

std::string RequestedMeasurementLocale()
{
    for (const char* variable : {"LC_ALL", "LC_MEASUREMENT", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return "C";
}

bool MeasuresInInches()
{
    std::string name = RequestedMeasurementLocale();
    locale_t locale = newlocale(LC_MEASUREMENT_MASK, name.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
        return UsesInches(name);
    }
    // glibc answers 1 for metric and 2 for US units.
    const char* answer = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, locale);
    bool inches = answer != nullptr && answer[0] == 2;
    freelocale(locale);
    return inches;
}

}  // namespace

extern "C" TARVEL_API int GetLocaleInfoW(DWORD locale, DWORD type, LPWSTR buffer, int size)
{
    (void)locale;  // every locale id means the user's own here
    if (type != LOCALE_IMEASURE || size < 0 || (size > 0 && buffer == nullptr)) {
        return 0;
    }
    if (size == 0) {
        return 2;
    }
    if (size < 2) {
        return 0;
    }
    buffer[0] = MeasuresInInches() ? u'1' : u'0';
    buffer[1] = u'\0';
    return 2;
}
