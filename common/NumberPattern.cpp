// SPDX-License-Identifier: MIT
#include "common/NumberPattern.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Pattern {
    int decimals = 0;     // digit places after the "."
    int minIntDigits = 0; // "0"s before it
};

Pattern ReadPattern(const QString& pattern)
{
    const qsizetype point = pattern.indexOf(u'.');
    const QString intPart = point < 0 ? pattern : pattern.left(point);
    return {point < 0 ? 0 : int(pattern.size() - point - 1), int(intPart.count(u'0'))};
}

// |value| to 15 significant digits: the digit string and the exponent e with
// |value| = 0.d1d2... x 10^(e + 1).
std::string SignificantDigits(double value, int& exponent)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    exponent = std::atoi(p + 1);
    return digits;
}

// Adds one unit in the last place of a digit string.
void IncrementDigits(std::string& digits)
{
    for (int i = int(digits.size()) - 1; i >= 0; --i) {
        if (digits[size_t(i)] != '9') {
            ++digits[size_t(i)];
            return;
        }
        digits[size_t(i)] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// The digits of |value| x 10^decimals rounded half away from zero to a whole
// number, at least decimals + 1 of them.
std::string ScaledDigits(double value, int decimals)
{
    int exponent = 0;
    const std::string digits = SignificantDigits(value, exponent);
    const int keep = exponent + 1 + decimals; // how many leading digits stay
    std::string kept;
    bool roundUp = false;
    if (keep > 0) {
        kept = digits.substr(0, std::min<size_t>(size_t(keep), digits.size()));
        kept.resize(size_t(keep), '0');
        roundUp = keep < int(digits.size()) && digits[size_t(keep)] >= '5';
    } else {
        roundUp = keep == 0 && digits[0] >= '5';
    }
    if (kept.empty())
        kept.push_back('0');
    if (roundUp)
        IncrementDigits(kept);
    if (int(kept.size()) < decimals + 1)
        kept.insert(0, size_t(decimals + 1) - kept.size(), '0');
    return kept;
}

} // namespace

QString FormatNumber(double value, const QString& pattern)
{
    if (!std::isfinite(value))
        return QString::number(value);
    const Pattern p = ReadPattern(pattern);
    const std::string kept = ScaledDigits(value, p.decimals);

    std::string intDigits = kept.substr(0, kept.size() - size_t(p.decimals));
    intDigits.erase(0, std::min(intDigits.find_first_not_of('0'), intDigits.size() - 1));
    if (intDigits == "0" && p.minIntDigits == 0)
        intDigits.clear();
    if (int(intDigits.size()) < p.minIntDigits)
        intDigits.insert(0, size_t(p.minIntDigits) - intDigits.size(), '0');

    std::string result = intDigits;
    if (p.decimals > 0)
        result += "." + kept.substr(kept.size() - size_t(p.decimals));
    const bool zero = kept.find_first_not_of('0') == std::string::npos;
    if (value < 0 && !zero)
        result.insert(result.begin(), '-');
    return QString::fromStdString(result);
}

double Val(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (c < u'0' || c > u'9')
            break;
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}
