#include "NumberPattern.h"

#include <cmath>
#include <cstdio>
#include <string>

QString FormatNumber(double value, const QString& pattern)
{
    const qsizetype point = pattern.indexOf(u'.');
    const QString intPart = point < 0 ? pattern : pattern.left(point);
    const int decimals = point < 0 ? 0 : int(pattern.size() - point - 1);
    const int minIntDigits = int(intPart.count(u'0'));

    if (!std::isfinite(value))
        return QString::number(value);

    // 15 significant digits as a decimal digit string and exponent.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    const int exponent = std::atoi(p + 1); // value = 0.d1d2... * 10^(exponent + 1)

    // Digits of the value scaled by 10^decimals, kept up to the units place.
    const int keep = exponent + 1 + decimals; // how many leading digits stay
    std::string kept;
    bool roundUp = false;
    if (keep > 0) {
        kept = digits.substr(0, std::min<size_t>(keep, digits.size()));
        while (int(kept.size()) < keep)
            kept.push_back('0');
        roundUp = keep < int(digits.size()) && digits[keep] >= '5';
    } else {
        roundUp = keep == 0 && digits[0] >= '5';
    }
    if (kept.empty())
        kept.push_back('0');
    if (roundUp) {
        int i = int(kept.size()) - 1;
        for (; i >= 0; --i) {
            if (kept[i] == '9') {
                kept[i] = '0';
            } else {
                ++kept[i];
                break;
            }
        }
        if (i < 0)
            kept.insert(kept.begin(), '1');
    }
    while (int(kept.size()) < decimals + 1)
        kept.insert(kept.begin(), '0');

    std::string intDigits = kept.substr(0, kept.size() - decimals);
    const std::string fraction = kept.substr(kept.size() - decimals);
    while (intDigits.size() > 1 && intDigits[0] == '0')
        intDigits.erase(0, 1);
    if (intDigits == "0" && minIntDigits == 0)
        intDigits.clear();
    while (int(intDigits.size()) < minIntDigits)
        intDigits.insert(intDigits.begin(), '0');

    std::string result = intDigits;
    if (decimals > 0)
        result += "." + fraction;
    const bool zero = kept.find_first_not_of('0') == std::string::npos;
    if (value < 0 && !zero)
        result.insert(result.begin(), '-');
    return QString::fromStdString(result);
}
