// SPDX-License-Identifier: MIT
#include "engine/TerminalGlyphs.h"

#include "common/CodePage932.h"

#include <clocale>
#include <cwchar>
#include <locale.h>

namespace {

// wcwidth answers by LC_CTYPE; C.UTF-8 is built into glibc, whatever the
// user's locale is.
class Utf8Ctype {
public:
    Utf8Ctype() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr))), previous_(uselocale(locale_)) {}
    ~Utf8Ctype()
    {
        uselocale(previous_);
        freelocale(locale_);
    }
    Utf8Ctype(const Utf8Ctype&) = delete;
    Utf8Ctype& operator=(const Utf8Ctype&) = delete;

private:
    locale_t locale_;
    locale_t previous_;
};

} // namespace

GlyphBucketArray TerminalGlyphsOnly(const GlyphBucketArray& buckets)
{
    const Utf8Ctype ctype;
    GlyphBucketArray wide;
    for (size_t b = 0; b < buckets.size(); ++b)
        for (const auto& glyph : buckets[b]) {
            const QString text = CharFromCode(glyph->AsciiNo);
            if (text.size() == 1 && wcwidth(wchar_t(text.at(0).unicode())) == 2)
                wide[b].push_back(glyph);
        }
    return wide;
}
